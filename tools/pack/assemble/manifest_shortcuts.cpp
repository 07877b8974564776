// The manifest's [[shortcut]] tables: four lines each in the shortcuts section, every
// line a template the installer can expand, the location a path Windows takes.
#include <set>

#include "assemble/defines.h"
#include "assemble/manifest_tables.h"
#include "common/errors.h"
#include "common/upcase.h"
#include "common/windows_path.h"

namespace fs = std::filesystem;

namespace tvpack {
namespace {

// Where the shortcut's .lnk file goes: an absolute path with room for ".lnk" and no
// character Windows refuses (its names are the installer's check's, manifest_paths.cpp).
bool check_link(Reading* reading, const std::u16string& location, int location_line) {
  std::u16string link = reading->session->expand(location).value_or(u"");
  std::string problem;
  if (!is_absolute(link))
    problem = " expands to " + quote(link) + ", which is not an absolute path";
  else if (link.size() + 4 > kMaxPathUnits)
    problem = " expands to " + std::to_string(link.size()) + " units; with \".lnk\" a path may have at most " +
              std::to_string(kMaxPathUnits);
  if (!problem.empty()) {
    reading->error(location_line, "[[shortcut]] location " + quote(location) + problem);
    return false;
  }
  if (char16_t c = forbidden_in_path(link)) {
    reading->error(location_line, "[[shortcut]] location " + quote(link) + " has the character " +
                                      quote(std::u16string(1, c)) + ", which Windows does not allow in a path" +
                                      escape_hint(std::u16string(1, c)));
    return false;
  }
  return true;
}

// A field of the shortcuts section: one line, a template that expands.
bool check_field(Reading* reading, const char* name, const std::optional<std::u16string>& value, int line) {
  if (!value) return false;
  if (value->find_first_of(u"\r\n") != std::u16string::npos) {
    reading->error(line, std::string("[[shortcut]] ") + name + " " + quote(*value) +
                             " has a line break; the shortcuts section is one line per field");
    return false;
  }
  return expand_template(reading, *value, line, std::string("[[shortcut]] ") + name).has_value();
}

// One [[shortcut]]; nothing when refused.
std::optional<ManifestShortcut> read_shortcut(Reading* reading, const toml::table& t) {
  TableReader r(reading, t, "[[shortcut]]");
  r.only({"target", "arguments", "location"});
  int target_line = 0, args_line = 0, location_line = 0;
  std::optional<std::u16string> target = r.text("target", true, &target_line);
  std::optional<std::u16string> arguments = r.text("arguments", false, &args_line);
  std::optional<std::u16string> location = r.text("location", true, &location_line);
  bool target_ok = check_field(reading, "target", target, target_line);
  bool arguments_ok = check_field(reading, "arguments", arguments, args_line);
  bool location_ok = check_field(reading, "location", location, location_line);
  if (target_ok && target->empty()) {
    reading->error(target_line, "[[shortcut]] target is empty");
    target_ok = false;
  }
  if (location_ok && location->find(u'\\') == std::u16string::npos) {
    reading->error(location_line, "[[shortcut]] location " + quote(*location) +
                                      " has no backslash; it must be a path such as \"{Desktop}\\\\Talvenor\"");
    location_ok = false;
  }
  location_ok = location_ok && check_link(reading, *location, location_line);
  if (!target_ok || !arguments_ok || !location_ok) return std::nullopt;
  return ManifestShortcut{*target, *arguments, *location, r.line(), location_line};
}

// The path below {App} (its value: base) that templ expands to ("" for {App} itself),
// as Windows resolves its dots; nothing when it lies elsewhere or climbs out.
std::optional<std::u16string> below_app(const Reading* reading, std::u16string base, const std::u16string& templ) {
  std::u16string expanded = reading->session->expand(templ).value_or(u"");
  while (!base.empty() && is_separator(base.back())) base.pop_back();
  if (base.empty() || !starts_with_folder(expanded, base)) return std::nullopt;
  std::vector<std::u16string> names = path_components(expanded.substr(base.size()));
  if (!resolve_dots(&names)) return std::nullopt;
  std::u16string out;
  for (const std::u16string& n : names) out += (out.empty() ? u"" : u"\\") + n;
  return out;
}

// A shortcut whose target lies below {App} leads to a file or folder the package
// installs there, or it would lead nowhere; the nearest packaged name is suggested.
void check_targets(Reading* reading) {
  std::set<std::u16string> packaged = {u""};  // {App} itself, upper-cased
  std::set<std::string> names;
  const std::u16string app = reading->session->expand(u"{App}").value_or(u"");
  // The file and every folder between it and {App}; the names suggested only when named.
  auto add = [&](const std::u16string& destination, bool named) {
    std::optional<std::u16string> below = below_app(reading, app, destination);
    for (std::u16string path = below.value_or(u""); !path.empty();) {
      packaged.insert(upcase(path));
      if (named) names.insert("{App}\\" + printable(path));
      size_t cut = path.rfind(u'\\');
      path = cut == std::u16string::npos ? u"" : path.substr(0, cut);
    }
  };
  for (const ManifestFile& f : reading->m->files) add(f.destination, true);
  // A file refused for its source is not told again through a shortcut to it.
  for (const std::u16string& d : reading->refused_destinations) add(d, false);
  for (const ManifestShortcut& s : reading->m->shortcuts) {
    std::optional<std::u16string> below = below_app(reading, app, s.target);
    if (!below || packaged.count(upcase(*below)) != 0) continue;
    std::string shown = "{App}\\" + printable(*below);
    std::string nearest = nearest_name(shown, names);
    reading->error(s.line, "[[shortcut]] target " + quote(s.target) + " leads to " + shown +
                               ", which the package does not install" +
                               (nearest.empty() ? "" : "; did you mean " + nearest + "?"));
  }
}

}  // namespace

void read_shortcuts(Reading* reading, const toml::table& root) {
  auto found = tables(reading, root, "shortcut");
  size_t count = 0;
  for (const toml::table* t : found.value_or(std::vector<const toml::table*>())) {
    std::optional<ManifestShortcut> s = read_shortcut(reading, *t);
    if (++count == kMaxShortcuts + 1)
      reading->error(line_of(*t), "more than " + std::to_string(kMaxShortcuts) +
                                      " shortcuts; the installer reads 1024 lines of the shortcuts section, four for each");
    if (s) reading->m->shortcuts.push_back(*s);
  }
  check_targets(reading);
}

}  // namespace tvpack
