// The manifest's [[shortcut]] tables: four lines each in the shortcuts section, every
// line a template the installer can expand, the location a path Windows takes.
#include "build/manifest_tables.h"
#include "common/errors.h"
#include "common/windows_path.h"
#include "variables/expand.h"

namespace fs = std::filesystem;

namespace tvpack {
namespace {

// Where the shortcut's .lnk file goes: an absolute path with room for ".lnk", no
// character Windows refuses, and no name it cannot hold in the file written.
void check_link(const fs::path& manifest, const std::u16string& location, int location_line) {
  std::u16string link = tv::expand_variables(location.c_str());
  if (!is_absolute(link))
    fail_at(manifest, location_line, "[[shortcut]] location " + quote(location) + " expands to " +
                                        quote(link) + ", which is not an absolute path");
  if (link.size() + 4 > kMaxPathUnits)
    fail_at(manifest, location_line, "[[shortcut]] location " + quote(location) + " expands to " +
                                        std::to_string(link.size()) +
                                        " units; with \".lnk\" a path may have at most 259");
  if (char16_t c = forbidden_in_path(link))
    fail_at(manifest, location_line, "[[shortcut]] location " + quote(link) + " has the character " +
                                        quote(std::u16string(1, c)) +
                                        ", which Windows does not allow in a path");
  check_names_windows_holds(manifest, link + u".lnk", location_line, "[[shortcut]] file");
}

}  // namespace

void read_shortcuts(const toml::table& root, Manifest* m) {
  for (const toml::table* t : tables(m->path, root, "shortcut")) {
    TableReader r(m->path, *t, "[[shortcut]]");
    r.only({"target", "arguments", "location"});
    ManifestShortcut s;
    int target_line = 0, args_line = 0, location_line = 0;
    s.target = r.text("target", true, &target_line);
    s.arguments = r.text("arguments", false, &args_line);
    s.location = r.text("location", true, &location_line);
    s.line = r.line();
    struct Field {
      const char* name;
      const std::u16string& value;
      int line;
    };
    for (const Field& f : {Field{"target", s.target, target_line},
                           Field{"arguments", s.arguments, args_line},
                           Field{"location", s.location, location_line}}) {
      if (f.value.find_first_of(u"\r\n") != std::u16string::npos)
        fail_at(m->path, f.line, std::string("[[shortcut]] ") + f.name + " " + quote(f.value) +
                                     " has a line break; the shortcuts section is one line per field");
      expand_or_fail(m->path, f.value, f.line, std::string("[[shortcut]] ") + f.name);
    }
    if (s.target.empty()) fail_at(m->path, target_line, "[[shortcut]] target is empty");
    if (s.location.find(u'\\') == std::u16string::npos)
      fail_at(m->path, location_line, "[[shortcut]] location " + quote(s.location) +
                                          " has no backslash; it must be a path such as "
                                          "\"{Desktop}\\\\Talvenor\"");
    check_link(m->path, s.location, location_line);
    m->shortcuts.push_back(s);
    if (m->shortcuts.size() > kMaxShortcuts)
      fail_at(m->path, s.line, "more than " + std::to_string(kMaxShortcuts) +
                                   " shortcuts; the installer reads 1024 lines of the shortcuts "
                                   "section, four for each");
  }
}

}  // namespace tvpack
