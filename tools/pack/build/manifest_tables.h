// Inside the manifest's reader: what every table reader shares (the line of a node,
// only known keys, strings where strings are wanted, arrays of tables, templates that
// must expand), and the reader of each table, each in its own file: [installer]
// (manifest_installer.cpp), [define] (manifest_defines.cpp), [[variable]]
// (manifest_variables.cpp), [[file]] and [[tree]] (manifest_files.cpp, their
// destinations in manifest_destinations.cpp), [[shortcut]] (manifest_shortcuts.cpp).
// load_manifest (manifest_load.cpp) calls them in that order.
#pragma once
#include <toml++/toml.h>

#include <filesystem>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "build/manifest.h"

namespace tvpack {

inline int line_of(const toml::node& node) { return int(node.source().begin.line); }
inline int line_of(const toml::key& key) { return int(key.source().begin.line); }

// One table of the manifest; label is how errors name it ("[[file]]", "[installer]").
class TableReader {
 public:
  TableReader(const std::filesystem::path& manifest, const toml::table& table, std::string label);

  // Fails at the first key that is not one of keys.
  void only(std::initializer_list<const char*> keys) const;

  // The string under key (no NUL in it); an absent optional key gives fallback.
  // *line is the value's line, or the table's when the key is absent.
  std::u16string text(const char* key, bool required, int* line = nullptr, const char* fallback = "") const;

  int line() const { return line_; }

 private:
  const std::filesystem::path& manifest_;
  const toml::table& table_;
  std::string label_;
  int line_;
};

// The tables of an array of tables (none when the key is absent).
std::vector<const toml::table*> tables(const std::filesystem::path& manifest, const toml::table& root,
                                       const char* key);

// The table under key written once as [key] (nullptr when the key is absent).
const toml::table* single_table(const std::filesystem::path& manifest, const toml::table& root, const char* key);

// templ expanded with the variables defined so far; fails at line, naming it
// "what" (e.g. "[[file]] destination"), when it does not expand (variables.h).
std::u16string expand_or_fail(const std::filesystem::path& manifest, const std::u16string& templ, int line,
                              const std::string& what);

// The [installer] table (manifest_installer.cpp): its keys checked, the icon found
// beside the manifest, the versions read. An empty InstallerInfo when there is none.
InstallerInfo read_installer_table(const std::filesystem::path& manifest, const toml::table& root);

// Replaces ${NAME} in every string of the manifest but the values of [define] itself
// (manifest_defines.cpp), in one pass: what a value puts in is not read again, and "$${"
// writes "${". The values are [define]'s, then command_line's over them. An
// undefined or malformed name is an error at the string's line, and so is a
// command-line value that no string uses (naming the nearest name that is used or defined).
void replace_defines(const std::filesystem::path& manifest, toml::table& root,
                     const std::map<std::string, std::string>& command_line);

// [[variable]]: each defined in the variable table as the installer will, in order;
// an {App} is required.
void read_variables(const toml::table& root, Manifest* m);
// [[file]] and [[tree]] in the order the manifest lists them.
void read_files(const toml::table& root, Manifest* m);
// [[shortcut]].
void read_shortcuts(const toml::table& root, Manifest* m);

// Fails at line when a name of expanded (a path the installer writes) is one Windows
// cannot hold; names that a folder variable's value gives ({App}, the shell folders)
// are the user's and pass. what names the path in the message ("[[file]] destination").
void check_names_windows_holds(const std::filesystem::path& manifest, const std::u16string& expanded, int line,
                               const std::string& what);

// The destinations of the files section, checked one by one with the variables in
// place, as Windows will take them: an absolute path that names a file and holds no
// character Windows refuses nor name it cannot hold; a warning when a ".." leaves {App}; and none another's
// file again, or the folder of another (or inside one), which the installer could
// never write both of.
class Destinations {
 public:
  explicit Destinations(Manifest* m) : m_(m) {}
  // what names the entry in errors ("[[file]]").
  void check(const std::u16string& dest, int line, const std::string& what);

 private:
  void check_conflicts(const std::u16string& expanded, int line, const std::string& what);
  struct Placed {
    int line;
    std::u16string path;  // as expanded
  };
  Manifest* m_;
  std::map<std::u16string, Placed> files_;    // resolved, case-folded destination
  std::map<std::u16string, Placed> folders_;  // every folder above one, the first to need it
};

}  // namespace tvpack
