// Inside the manifest's reader: what every table reader shares (the line of a node,
// only known keys, strings where strings are wanted, arrays of tables), and the
// readers of [installer] (manifest_installer.cpp) and of build-time values
// (defines.cpp), each in its own file. manifest.cpp's loader calls them.
#pragma once
#include <toml++/toml.h>

#include <filesystem>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

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

struct InstallerInfo;

// The [installer] table (manifest_installer.cpp): its keys checked, the icon found
// beside the manifest, the versions read. An empty InstallerInfo when there is none.
InstallerInfo read_installer_table(const std::filesystem::path& manifest, const toml::table& root);

// Replaces ${NAME} in every string of the manifest but the values of [define] itself
// (defines.cpp), in one pass: what a value puts in is not read again, and "$${"
// writes "${". The values are [define]'s, then command_line's over them. An
// undefined or malformed name is an error at the string's line; each command-line
// value that no string uses adds a warning.
void replace_defines(const std::filesystem::path& manifest, toml::table& root,
                     const std::map<std::string, std::string>& command_line, std::vector<std::string>* warnings);

}  // namespace tvpack
