// The destinations of the files section, checked as Windows will take them (see
// Destinations in manifest_tables.h).
#include <algorithm>

#include "build/manifest_tables.h"
#include "common/errors.h"
#include "common/upcase.h"
#include "common/windows_path.h"
#include "variables/section.h"
#include "variables/table.h"

namespace tvpack {
namespace {

// True when the path starts in the {App} folder and a ".." then climbs out of it.
bool leaves_app(const std::u16string& expanded) {
  const char16_t* const* app = tv::find_variable(u"{App}");
  if (app == nullptr || *app == nullptr) return false;
  std::u16string base = upcase(*app);
  while (!base.empty() && base.back() == u'\\') base.pop_back();
  std::u16string path = upcase(expanded);
  if (base.empty() || path.compare(0, base.size(), base) != 0 || path.size() <= base.size() ||
      path[base.size()] != u'\\')
    return false;
  std::vector<std::u16string> below = path_components(path.substr(base.size() + 1));
  return !resolve_dots(&below);
}

// How many leading names of expanded a folder variable's value gives ({App} or a
// shell folder, the longest that holds it): the user's own folders, not the package's.
size_t folder_names(const std::u16string& expanded) {
  size_t longest = 0;
  auto consider = [&](const char16_t* name) {
    const char16_t* const* value = tv::find_variable(name);
    if (value == nullptr || *value == nullptr) return;
    std::u16string folder = *value;
    while (!folder.empty() && is_separator(folder.back())) folder.pop_back();
    if (starts_with_folder(expanded, folder)) longest = std::max(longest, path_components(folder).size());
  };
  consider(u"{App}");
  for (unsigned i = 0; i < tv::kFolderVariables; ++i) consider(tv::folder_variable_name(i));
  return longest;
}

}  // namespace

void check_names_windows_holds(const std::filesystem::path& manifest, const std::u16string& expanded, int line,
                               const std::string& what) {
  std::u16string bad = first_name_windows_cannot_hold(expanded, folder_names(expanded));
  if (!bad.empty())
    fail_at(manifest, line, what + " " + quote(expanded) + " holds the name " + quote(bad) +
                                ", which Windows cannot hold (a device such as NUL or COM1, or a name "
                                "ending in a dot or a space)");
}

// The destination template of one file, checked with the variables in place.
void Destinations::check(const std::u16string& dest, int line, const std::string& what) {
  std::u16string expanded = expand_or_fail(m_->path, dest, line, what + " destination");
  if (!is_absolute(expanded))
    fail_at(m_->path, line, what + " destination " + quote(dest) + " expands to " + quote(expanded) +
                               ", which is not an absolute path");
  if (expanded.back() == u'\\')
    fail_at(m_->path, line, what + " destination " + quote(dest) + " ends with a backslash; it "
                                  "must name the file");
  if (char16_t c = forbidden_in_path(expanded))
    fail_at(m_->path, line, what + " destination " + quote(expanded) + " has the character " +
                               quote(std::u16string(1, c)) + ", which Windows does not allow in a path");
  check_names_windows_holds(m_->path, expanded, line, what + " destination");
  if (leaves_app(expanded))
    m_->warnings.push_back(show_path(m_->path) + ":" + std::to_string(line) + ": warning: " + what +
                          " destination " + quote(dest) + " leaves {App} through \"..\"");
  check_conflicts(expanded, line, what);
}

// A destination may be neither another's file again nor the folder of another (or
// inside one): the installer could never write both. Compared as Windows resolves
// paths: each unit by its uppercase (upcase.h), "." and ".." taken out.
void Destinations::check_conflicts(const std::u16string& expanded, int line, const std::string& what) {
  std::vector<std::u16string> parts = path_components(upcase(expanded));
  resolve_dots(&parts, 1);  // the drive (or server) stays
  std::u16string key;
  std::vector<std::u16string> folders;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) key += u'\\';
    key += parts[i];
    if (i > 0 && i + 1 < parts.size()) folders.push_back(key);  // not the bare drive
  }
  auto same = files_.find(key);
  if (same != files_.end())
    fail_at(m_->path, line, what + " destination " + quote(expanded) +
                               " is already installed by the entry on line " + std::to_string(same->second.line));
  auto below = folders_.find(key);
  if (below != folders_.end())
    fail_at(m_->path, line, what + " destination " + quote(expanded) + " is the folder of " +
                               quote(below->second.path) + " (line " + std::to_string(below->second.line) +
                               "); a path cannot be both a file and a folder");
  for (const std::u16string& folder : folders) {
    auto file = files_.find(folder);
    if (file != files_.end())
      fail_at(m_->path, line, what + " destination " + quote(expanded) + " lies inside " +
                                 quote(file->second.path) + ", which line " + std::to_string(file->second.line) +
                                 " installs as a file; a path cannot be both a file and a folder");
  }
  files_.emplace(key, Placed{line, expanded});
  for (const std::u16string& folder : folders) folders_.emplace(folder, Placed{line, expanded});
}

}  // namespace tvpack
