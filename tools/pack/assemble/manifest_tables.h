// Inside the manifest's reader: what every table reader shares (the manifest being read
// with its errors, the line of a node, only known keys, strings where strings are
// wanted, arrays of tables, templates that must expand), and the reader of each table,
// each in its own file: [installer] (manifest_installer.cpp), [define]
// (manifest_defines.cpp), [[variable]] (manifest_variables.cpp), [[file]] and [[tree]]
// (manifest_files.cpp, their destinations in manifest_destinations.cpp), [[shortcut]]
// (manifest_shortcuts.cpp). load_manifest (manifest_load.cpp) calls them in that order.
//
// A reader tells every mistake to the Reading's errors and passes over the value it is
// in; what depends on a value passed over is passed over too, in silence (its mistake
// was told once).
#pragma once
#include <toml++/toml.h>

#include <filesystem>
#include <initializer_list>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "assemble/manifest.h"
#include "common/errors.h"
#include "session/installer_session.h"

namespace tvpack {

inline int line_of(const toml::node& node) { return int(node.source().begin.line); }
inline int line_of(const toml::key& key) { return int(key.source().begin.line); }

// The manifest being read, its errors so far, and what was refused.
struct Reading {
  Reading(Manifest* manifest, InstallerSession* installer)
      : m(manifest), session(installer), errors(manifest->path) {}
  const std::filesystem::path& path() const { return m->path; }
  void error(int line, const std::string& what) { errors.add(line, what); }

  // True when templ uses a variable whose [[variable]] was refused (or, after a
  // [[variable]] whose name was refused, any variable that is not defined).
  bool uses_refused_variable(const std::u16string& templ) const;

  Manifest* m;
  InstallerSession* session;  // the variable table the templates are checked against
  ErrorList errors;
  std::set<const toml::node*> refused_strings;   // build-time values could not be put in
  std::set<std::u16string> refused_variables;    // names of [[variable]]s refused
  bool variable_names_refused = false;           // a [[variable]] of unknown name refused
  std::vector<std::u16string> refused_destinations;  // of files whose source was refused
};

// One table of the manifest; label is how errors name it ("[[file]]", "[installer]").
class TableReader {
 public:
  TableReader(Reading* reading, const toml::table& table, std::string label);

  // Tells every key that is not one of keys.
  void only(std::initializer_list<const char*> keys);

  // The string under key (no NUL in it); an absent optional key gives fallback.
  // *line is the value's line, or the table's when the key is absent. Nothing when
  // the value is refused, or a required key is absent (told unless the table has an
  // unknown key, which is likely that one misspelt).
  std::optional<std::u16string> text(const char* key, bool required, int* line = nullptr,
                                     const char* fallback = "") const;

  bool has(const char* key) const { return table_.get(key) != nullptr; }
  int line() const { return line_; }

 private:
  Reading* reading_;
  const toml::table& table_;
  std::string label_;
  int line_;
  bool unknown_key_ = false;
};

// The tables of an array of tables (none when the key is absent); nothing when the
// key holds something else.
std::optional<std::vector<const toml::table*>> tables(Reading* reading, const toml::table& root, const char* key);

// The table under key written once as [key] (nullptr when the key is absent, or holds
// something else).
const toml::table* single_table(Reading* reading, const toml::table& root, const char* key);

// Why templ does not expand with the variables defined so far ("" when it does): the
// session's reason, and for a variable that is not defined the nearest that is.
std::string worded_expansion(const Reading* reading, const std::u16string& templ);

// For a text the manifest gave that holds a control character that one of TOML's
// escapes makes ("\r" in "{App}\readme.txt"), the hint to write it in single quotes,
// beginning with a space; "" for any other text.
std::string escape_hint(const std::u16string& text);

// templ expanded with the variables defined so far; nothing when it does not expand
// (variables.h), told at line naming it "what" (e.g. "[[file]] destination").
std::optional<std::u16string> expand_template(Reading* reading, const std::u16string& templ, int line,
                                              const std::string& what);

// The [installer] table (manifest_installer.cpp): its keys checked, the icon found
// beside the manifest, the versions read. An empty InstallerInfo when there is none.
InstallerInfo read_installer_table(Reading* reading, const toml::table& root);

// Replaces ${NAME} in every string of the manifest but the values of [define] itself
// (manifest_defines.cpp), in one pass: what a value puts in is not read again, and "$${"
// writes "${". The values are [define]'s, then command_line's over them. An
// undefined or malformed name is an error at the string's line (the string refused),
// and so is a command-line value that no string uses (naming the nearest name that is
// used or defined).
void replace_defines(Reading* reading, toml::table& root, const std::map<std::string, std::string>& command_line);

// [[variable]]: each defined in the variable table as the installer will, in order;
// an {App} is required.
void read_variables(Reading* reading, const toml::table& root);
// [[file]] and [[tree]] in the order the manifest lists them.
void read_files(Reading* reading, const toml::table& root);
// [[shortcut]].
void read_shortcuts(Reading* reading, const toml::table& root);

// The installer's own check of every path the package writes (install/path_check.h),
// made on the manifest's sections as read (manifest_paths.cpp): each name Windows
// cannot hold, and each path that does not expand as the installer expands it, told at
// the line of the [[file]], [[tree]] or [[shortcut]] location that gives it, once for
// each line and name; the room it leaves the install folder goes into the manifest.
// A file it reads in the user's application data ({AppData}, as the installer reads
// the path: not below {App}) is warned of, once for each line: every reinstall
// replaces it. The session starts over after it (the manifest's variables go).
void check_paths(Reading* reading);

// One file of the files section as its destination is checked: what names it in
// errors ("[[file]]", or "[[tree]] file "PATH":", which names its source already);
// source is empty when it was refused.
struct Placing {
  std::u16string destination;
  int line;
  std::string what;
  std::filesystem::path source;
  bool name_source;  // what does not name the source: a clash names it
};

// The destinations of the files section, checked one by one with the variables in
// place, as Windows will take them: an absolute path that names a file and holds no
// character Windows refuses (the names are check_paths'); a warning when a ".." leaves {App}; and none another's
// file again, or the folder of another (or inside one), which the installer could
// never write both of; a clash names both sources and both lines.
class Destinations {
 public:
  explicit Destinations(Reading* reading) : reading_(reading) {}
  // False when told.
  bool check(const Placing& file);
  // A [[tree]]'s destination, the folder of its files, checked once for them all.
  bool check_folder(const std::u16string& dest, int line);

 private:
  std::optional<std::u16string> checked_path(const std::u16string& dest, int line, const std::string& what,
                                            bool names_file);
  bool check_conflicts(const std::u16string& expanded, const Placing& file);
  struct Placed {
    int line;
    std::u16string path;  // as expanded
    std::filesystem::path source;
  };
  Reading* reading_;
  std::map<std::u16string, Placed> files_;    // resolved, case-folded destination
  std::map<std::u16string, Placed> folders_;  // every folder above one, the first to need it
};

}  // namespace tvpack
