// The destinations of the files section, checked as Windows will take them (see
// Destinations in manifest_tables.h).
#include <algorithm>

#include "assemble/manifest_tables.h"
#include "common/errors.h"
#include "common/upcase.h"
#include "common/windows_path.h"

namespace tvpack {
namespace {

// The default {App}.
std::u16string app_folder(const Reading* reading) { return reading->session->expand(u"{App}").value_or(u""); }

// True when the path starts in the {App} folder and a ".." then climbs out of it.
bool leaves_app(const Reading* reading, const std::u16string& expanded) {
  std::u16string app = app_folder(reading);
  if (!starts_with_folder(expanded, app)) return false;
  std::vector<std::u16string> below = path_components(expanded);
  below.erase(below.begin(), below.begin() + std::ptrdiff_t(path_components(app).size()));
  return !resolve_dots(&below);
}

}  // namespace

// dest expanded, when it is a path Windows takes (a file's when names_file: not
// ending in a backslash).
std::optional<std::u16string> Destinations::checked_path(const std::u16string& dest, int line,
                                                         const std::string& what, bool names_file) {
  std::optional<std::u16string> expanded = expand_template(reading_, dest, line, what + " destination");
  if (!expanded) return std::nullopt;
  std::string problem;
  if (!is_absolute(*expanded))
    problem = " destination " + quote(dest) + " expands to " + quote(*expanded) + ", which is not an absolute path";
  else if (names_file && expanded->back() == u'\\')
    problem = " destination " + quote(dest) + " ends with a backslash; it must name the file";
  else if (char16_t c = forbidden_in_path(*expanded))
    problem = " destination " + quote(*expanded) + " has the character " + quote(std::u16string(1, c)) +
              ", which Windows does not allow in a path" + escape_hint(std::u16string(1, c));
  if (!problem.empty()) {
    reading_->error(line, what + problem);
    return std::nullopt;
  }
  return expanded;
}

bool Destinations::check_folder(const std::u16string& dest, int line) {
  return checked_path(dest, line, "[[tree]]", false).has_value();
}

// The destination template of one file, checked with the variables in place.
bool Destinations::check(const Placing& file) {
  std::optional<std::u16string> expanded = checked_path(file.destination, file.line, file.what, true);
  if (!expanded) return false;
  if (leaves_app(reading_, *expanded))
    reading_->m->warnings.push_back(warning_at(reading_->path(), file.line, file.what + " destination " +
                                                                             quote(file.destination) +
                                                                             " leaves {App} through \"..\""));
  return check_conflicts(*expanded, file);
}

// A destination may be neither another's file again nor the folder of another (or
// inside one): the installer could never write both. Compared as Windows resolves
// paths: each unit by its uppercase (upcase.h), "." and ".." taken out.
bool Destinations::check_conflicts(const std::u16string& expanded, const Placing& file) {
  std::vector<std::u16string> parts = path_components(upcase(expanded));
  resolve_dots(&parts, 1);  // the drive (or server) stays
  std::u16string key;
  std::vector<std::u16string> folders;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) key += u'\\';
    key += parts[i];
    if (i > 0 && i + 1 < parts.size()) folders.push_back(key);  // not the bare drive
  }
  std::string named = file.what + " destination " + quote(expanded);
  auto same = files_.find(key);
  if (same != files_.end()) {
    std::string own = file.name_source && !file.source.empty() ? " (from " + quote(show_path(file.source)) + ")" : "";
    const Placed& other = same->second;
    std::string from = other.source.empty() ? "" : ", from " + quote(show_path(other.source));
    reading_->error(file.line, named + own + " is already installed by the entry on line " + std::to_string(other.line) +
                                   " (as " + quote(other.path) + from + "); Windows holds the two as one file");
    return false;
  }
  auto below = folders_.find(key);
  if (below != folders_.end()) {
    reading_->error(file.line, named + " is the folder of " + quote(below->second.path) + " (line " +
                                   std::to_string(below->second.line) + "); a path cannot be both a file and a folder");
    return false;
  }
  for (const std::u16string& folder : folders) {
    auto inside = files_.find(folder);
    if (inside == files_.end()) continue;
    reading_->error(file.line, named + " lies inside " + quote(inside->second.path) + ", which line " +
                                   std::to_string(inside->second.line) +
                                   " installs as a file; a path cannot be both a file and a folder");
    return false;
  }
  files_.emplace(key, Placed{file.line, expanded, file.source});
  for (const std::u16string& folder : folders) folders_.emplace(folder, Placed{file.line, expanded, file.source});
  return true;
}

}  // namespace tvpack
