#include "manifest.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "common/errors.h"
#include "common/upcase.h"
#include "common/variables.h"
#include "common/windows_path.h"
#include "manifest_tables.h"
#include "package/writer.h"
#include "platform/text16.h"
#include "variables/expand.h"
#include "variables/pool.h"
#include "variables/table.h"

namespace fs = std::filesystem;

namespace tvpack {
namespace {

std::string utf8(const std::u16string& s) { return tv::u16_to_utf8(s); }

// A string with a terminating NUL unit in the script.
uint64_t string_bytes(const std::u16string& s) { return 2 * (uint64_t(s.size()) + 1); }

bool is_raw_variable(const std::u16string& name) {
  return name == u"{AppName}" || name == u"{AppVerName}";
}

class Loader {
 public:
  explicit Loader(Manifest& m) : m_(m) {}

  void load(const toml::table& root) {
    for (auto&& [key, node] : root) {
      (void)node;
      static const std::set<std::string> known = {"format_version", "installer", "define", "variable",
                                                  "file", "tree", "shortcut"};
      if (known.count(std::string(key.str())) == 0)
        fail_at(m_.path, line_of(key), "unknown key " + quote(std::string(key.str())) +
                                           " (a manifest has format_version, [installer], [define], "
                                           "[[variable]], [[file]], [[tree]] and [[shortcut]])");
    }
    if (const toml::node* v = root.get("format_version")) {
      const auto* i = v->as_integer();
      if (i == nullptr || i->get() < INT32_MIN || i->get() > INT32_MAX)
        fail_at(m_.path, line_of(*v), "format_version must be an integer (32-bit)");
      m_.format_version = int32_t(i->get());
      if (m_.format_version > 1)
        fail_at(m_.path, line_of(*v), "format_version " + std::to_string(m_.format_version) +
                                          " would be refused by the installer, which reads 1 (or lower)");
    }
    m_.installer = read_installer_table(m_.path, root);
    read_variables(root);
    read_files(root);
    read_shortcuts(root);
    check_script_size();
  }

 private:
  void read_variables(const toml::table& root) {
    reset_simulated_variables();
    bool has_app = false;
    for (const toml::table* t : tables(m_.path, root, "variable")) {
      TableReader r(m_.path, *t, "[[variable]]");
      r.only({"name", "value"});
      ManifestVariable v;
      int name_line = 0;
      v.name = r.text("name", true, &name_line);
      v.value = r.text("value", true, &v.line);
      bool braced = v.name.size() >= 3 && v.name.front() == u'{' && v.name.back() == u'}' &&
                    v.name.find_first_of(u"{}", 1) == v.name.size() - 1;
      if (!braced)
        fail_at(m_.path, name_line, "variable name " + quote(v.name) +
                                        " must be one name in braces, like \"{App}\"");
      if (!is_raw_variable(v.name)) {
        // The installer defines it as the expansion of its value, in this order.
        std::string problem = expansion_problem(v.value);
        if (!problem.empty())
          fail_at(m_.path, v.line, "variable " + utf8(v.name) + ": value " + quote(v.value) + " " +
                                       problem);
        tv::variable_slot(tv::pool_string(v.name.c_str())) = tv::expand_variables(v.value.c_str());
      }
      has_app = has_app || v.name == u"{App}";
      m_.variables.push_back(v);
    }
    if (!has_app)
      fail(m_.path, "defines no {App} variable (the default install folder); add a [[variable]] "
                    "with name = \"{App}\"");
  }

  // The destination template of one file, checked with the variables in place.
  void check_destination(const std::u16string& dest, int line, const std::string& what) {
    std::u16string expanded = expand_or_fail(dest, line, what + " destination");
    if (!is_absolute(expanded))
      fail_at(m_.path, line, what + " destination " + quote(dest) + " expands to " + quote(expanded) +
                                 ", which is not an absolute path");
    if (expanded.back() == u'\\')
      fail_at(m_.path, line, what + " destination " + quote(dest) + " ends with a backslash; it "
                                    "must name the file");
    if (char16_t c = forbidden_in_path(expanded))
      fail_at(m_.path, line, what + " destination " + quote(expanded) + " has the character " +
                                 quote(std::u16string(1, c)) + ", which Windows does not allow in a path");
    if (leaves_app(expanded))
      m_.warnings.push_back(show_path(m_.path) + ":" + std::to_string(line) + ": warning: " + what +
                            " destination " + quote(dest) + " leaves {App} through \"..\"");
    check_conflicts(expanded, line, what);
  }

  // True when the path starts in the {App} folder and a ".." then climbs out of it.
  bool leaves_app(const std::u16string& expanded) const {
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

  // A destination may be neither another's file again nor the folder of another (or
  // inside one): the installer could never write both. Compared as Windows resolves
  // paths: each unit by its uppercase (upcase.h), "." and ".." taken out.
  void check_conflicts(const std::u16string& expanded, int line, const std::string& what) {
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
      fail_at(m_.path, line, what + " destination " + quote(expanded) +
                                 " is already installed by the entry on line " + std::to_string(same->second.line));
    auto below = folders_.find(key);
    if (below != folders_.end())
      fail_at(m_.path, line, what + " destination " + quote(expanded) + " is the folder of " +
                                 quote(below->second.path) + " (line " + std::to_string(below->second.line) +
                                 "); a path cannot be both a file and a folder");
    for (const std::u16string& folder : folders) {
      auto file = files_.find(folder);
      if (file != files_.end())
        fail_at(m_.path, line, what + " destination " + quote(expanded) + " lies inside " +
                                   quote(file->second.path) + ", which line " + std::to_string(file->second.line) +
                                   " installs as a file; a path cannot be both a file and a folder");
    }
    files_.emplace(key, Placed{line, expanded});
    for (const std::u16string& folder : folders) folders_.emplace(folder, Placed{line, expanded});
  }

  std::u16string expand_or_fail(const std::u16string& templ, int line, const std::string& what) {
    std::string problem = expansion_problem(templ);
    if (!problem.empty()) fail_at(m_.path, line, what + " " + quote(templ) + " " + problem);
    return tv::expand_variables(templ.c_str());
  }

  uint64_t source_size(const fs::path& source, int line, const std::string& what) {
    std::error_code ec;
    fs::file_status st = fs::status(source, ec);
    if (!fs::exists(st))
      fail_at(m_.path, line, what + " source " + quote(show_path(source)) + " does not exist");
    if (!fs::is_regular_file(st))
      fail_at(m_.path, line, what + " source " + quote(show_path(source)) + " is not a regular file");
    uint64_t size = fs::file_size(source, ec);
    if (ec) fail_at(m_.path, line, what + " source " + quote(show_path(source)) + ": " + ec.message());
    if (size > kMaxFileSize)
      fail_at(m_.path, line, what + " source " + quote(show_path(source)) + " is " + std::to_string(size) +
                                 " bytes; files of 2 GiB (2147483648 bytes) or more cannot be packed");
    return size;
  }

  struct Entry {
    int line;
    const toml::table* table;
    bool tree;
  };

  void read_files(const toml::table& root) {
    // [[file]] and [[tree]] entries in the order the manifest lists them.
    std::vector<Entry> entries;
    for (const toml::table* t : tables(m_.path, root, "file")) entries.push_back({line_of(*t), t, false});
    for (const toml::table* t : tables(m_.path, root, "tree")) entries.push_back({line_of(*t), t, true});
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.line < b.line; });
    fs::path base = m_.path.parent_path();
    for (const Entry& e : entries) {
      const char* kind = e.tree ? "tree" : "file";
      TableReader r(m_.path, *e.table, std::string("[[") + kind + "]]");
      r.only({"source", "destination"});
      int source_line = 0, dest_line = 0;
      std::u16string source = r.text("source", true, &source_line);
      std::u16string dest = r.text("destination", true, &dest_line);
      fs::path src = base / utf8_path(utf8(source));
      if (e.tree)
        add_tree(src, dest, source_line, dest_line);
      else
        add_file(src, dest, source_line, dest_line, "[[file]]");
    }
  }

  void add_file(const fs::path& src, const std::u16string& dest, int source_line, int dest_line,
                const std::string& what) {
    ManifestFile f;
    f.source = src;
    f.destination = dest;
    f.size = source_size(src, source_line, what);
    f.line = dest_line;
    check_destination(dest, dest_line, what);
    m_.files.push_back(f);
  }

  void add_tree(const fs::path& src, const std::u16string& dest, int source_line, int dest_line) {
    std::error_code ec;
    if (!fs::is_directory(src, ec))
      fail_at(m_.path, source_line, "[[tree]] source " + quote(show_path(src)) + " is not a folder");
    expand_or_fail(dest, dest_line, "[[tree]] destination");
    // Every regular file below src, ordered by its path's components.
    std::vector<std::vector<std::string>> found;
    std::error_code walk;  // a folder that cannot be read stops the walk with this set
    for (fs::recursive_directory_iterator it(src, walk), end; !walk && it != end; it.increment(walk)) {
      std::error_code kind;
      if (it->is_directory(kind)) continue;
      std::vector<std::string> parts;
      for (const fs::path& part : it->path().lexically_relative(src)) parts.push_back(part.u8string());
      found.push_back(parts);
    }
    if (walk) fail_at(m_.path, source_line, "[[tree]] source " + quote(show_path(src)) + ": " + walk.message());
    if (found.empty())
      fail_at(m_.path, source_line, "[[tree]] source " + quote(show_path(src)) + " holds no files");
    std::sort(found.begin(), found.end());
    for (const auto& parts : found) {
      fs::path file = src;
      std::u16string target = dest;
      for (const std::string& part : parts) {
        file /= utf8_path(part);
        std::u16string name = tv::utf8_to_u16(part);
        if (name.find_first_of(u"{}") != std::u16string::npos)
          fail_at(m_.path, source_line, "[[tree]] file " + quote(show_path(file)) +
                                            " has a brace in its name, which the install script "
                                            "would read as a variable");
        if (target.empty() || target.back() != u'\\') target += u'\\';
        target += name;
      }
      add_file(file, target, source_line, dest_line, "[[tree]] file " + quote(show_path(file)) + ":");
    }
  }

  void read_shortcuts(const toml::table& root) {
    for (const toml::table* t : tables(m_.path, root, "shortcut")) {
      TableReader r(m_.path, *t, "[[shortcut]]");
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
          fail_at(m_.path, f.line, std::string("[[shortcut]] ") + f.name + " " + quote(f.value) +
                                       " has a line break; the shortcuts section is one line per field");
        expand_or_fail(f.value, f.line, std::string("[[shortcut]] ") + f.name);
      }
      if (s.target.empty()) fail_at(m_.path, target_line, "[[shortcut]] target is empty");
      if (s.location.find(u'\\') == std::u16string::npos)
        fail_at(m_.path, location_line, "[[shortcut]] location " + quote(s.location) +
                                            " has no backslash; it must be a path such as "
                                            "\"{Desktop}\\\\Talvenor\"");
      std::u16string link = tv::expand_variables(s.location.c_str());
      if (!is_absolute(link))
        fail_at(m_.path, location_line, "[[shortcut]] location " + quote(s.location) + " expands to " +
                                            quote(link) + ", which is not an absolute path");
      if (link.size() + 4 > kMaxPathUnits)
        fail_at(m_.path, location_line, "[[shortcut]] location " + quote(s.location) + " expands to " +
                                            std::to_string(link.size()) +
                                            " units; with \".lnk\" a path may have at most 259");
      if (char16_t c = forbidden_in_path(link))
        fail_at(m_.path, location_line, "[[shortcut]] location " + quote(link) + " has the character " +
                                            quote(std::u16string(1, c)) +
                                            ", which Windows does not allow in a path");
      m_.shortcuts.push_back(s);
      if (m_.shortcuts.size() > kMaxShortcuts)
        fail_at(m_.path, s.line, "more than " + std::to_string(kMaxShortcuts) +
                                     " shortcuts; the installer reads 1024 lines of the shortcuts "
                                     "section, four for each");
    }
  }

  void check_script_size() {
    uint64_t size = 4 + 4;
    for (const auto& v : m_.variables) size += string_bytes(v.name) + string_bytes(v.value);
    size += 4;
    for (const auto& f : m_.files) size += string_bytes(f.destination) + 4 + f.size;
    size += string_bytes(shortcut_text(m_.shortcuts));
    m_.script_size = size;
    if (size > kMaxScriptSize)
      fail(m_.path, "the install script would be " + std::to_string(size) +
                        " bytes; the limit is 1 GiB (1073741824 bytes)");
  }

  struct Placed {
    int line;
    std::u16string path;  // as expanded
  };
  Manifest& m_;
  std::map<std::u16string, Placed> files_;    // resolved, case-folded destination
  std::map<std::u16string, Placed> folders_;  // every folder above one, the first to need it
};

std::vector<uint8_t> read_whole_file(const fs::path& path, uint64_t expected, const fs::path& manifest,
                                     int line) {
  std::ifstream in(path, std::ios::binary);
  if (!in) fail_at(manifest, line, "cannot open " + quote(show_path(path)));
  std::vector<uint8_t> data(static_cast<size_t>(expected));
  if (expected != 0) in.read(reinterpret_cast<char*>(data.data()), std::streamsize(expected));
  bool short_read = uint64_t(in.gcount()) != expected && expected != 0;
  bool longer = in.peek() != std::char_traits<char>::eof();
  if (short_read || longer)
    fail_at(manifest, line, quote(show_path(path)) + " changed size while it was being packed");
  return data;
}

}  // namespace

Manifest load_manifest(const fs::path& path, const Defines& defines) {
  Manifest m;
  m.path = path;
  std::ifstream in(path, std::ios::binary);
  if (!in) fail(path, "cannot read the manifest");
  std::stringstream text;
  text << in.rdbuf();
  toml::table root;
  try {
    root = toml::parse(text.str(), show_path(path));
  } catch (const toml::parse_error& e) {
    fail_at(path, int(e.source().begin.line), "not valid TOML: " + std::string(e.description()));
  }
  replace_defines(path, root, defines, &m.warnings);
  Loader(m).load(root);
  return m;
}

std::u16string shortcut_text(const std::vector<ManifestShortcut>& shortcuts) {
  std::u16string text;
  for (const auto& s : shortcuts) {
    if (!text.empty()) text += u'\n';
    text += u"icon\n" + s.target + u'\n' + s.arguments + u'\n' + s.location;
  }
  return text;
}

std::vector<uint8_t> build_script(const Manifest& m, const FilesRead& files_read) {
  tv::ScriptWriter w;
  w.put_int(m.format_version);
  w.put_int(int32_t(m.variables.size()));
  for (const auto& v : m.variables) {
    w.put_string(v.name);
    w.put_string(v.value);
  }
  w.put_int(int32_t(m.files.size()));
  for (const auto& f : m.files) {
    w.put_string(f.destination);
    w.put_int(int32_t(f.size));
    std::vector<uint8_t> content = read_whole_file(f.source, f.size, m.path, f.line);
    w.put_bytes(content.data(), content.size());
    if (files_read) files_read(size_t(&f - m.files.data()) + 1);
  }
  w.put_string(shortcut_text(m.shortcuts));
  return w.bytes();
}

}  // namespace tvpack
