// The package manifest (TOML): what goes into the install script, checked in full
// before anything is written.
//
//   format_version = 1                       (optional)
//   [installer]   icon = "t.ico"   product_version = "${version}"   (optional, once)
//   [define]      version = "1.0"            (optional, once; -D NAME=VALUE wins)
//   [[variable]]  name = "{App}"   value = "D:\\Kesta"
//   [[file]]      source = "bin/Talvenor.exe"   destination = "{App}\\Talvenor.exe"
//   [[tree]]      source = "data"   destination = "{App}\\data"
//   [[shortcut]]  target = "{App}\\Talvenor.exe"   arguments = ""
//                 location = "{Desktop}\\Talvenor"
//
// Sources are relative to the manifest's folder. Variables keep their order: a value
// may use the built-in folder variables and the variables defined above it.
// ${NAME} in any string is a build-time value, put in before anything is checked.
#pragma once
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "assemble/defines.h"
#include "common/limits.h"
#include "pe/product_info.h"
#include "session/installer_session.h"

namespace tvpack {

struct ManifestVariable {
  std::u16string name;
  std::u16string value;
  int line = 0;
};

// One file of the files section: a source on disk and its destination template.
struct ManifestFile {
  std::filesystem::path source;
  std::u16string destination;
  uint64_t size = 0;
  int line = 0;      // the [[file]] or [[tree]] it comes from
  std::string what;  // how errors name it: "[[file]]", or "[[tree]] file "PATH":"
};

struct ManifestShortcut {
  std::u16string target;
  std::u16string arguments;
  std::u16string location;
  int line = 0;
  int location_line = 0;
};

// The [installer] table: what the output's own resources say of the product. A value
// left out keeps the stub's. Strings are checked (no control characters, at most 256
// UTF-16 units); versions are 1 to 4 numbers 0-65535, the string kept as written.
struct InstallerInfo {
  int line = 0;                    // the table's line; 0 when the manifest has none
  std::filesystem::path icon;      // a .ico file; empty: the output carries no icon
  int icon_line = 0;
  // The names and versions (the icon's images are the build's to read). The binary
  // versions: "2.3" is 2.3.0.0; file_version's is product_version's when file_version
  // is left out.
  ProductInfo product;
};

struct Manifest {
  std::filesystem::path path;
  int32_t format_version = 1;
  std::vector<ManifestVariable> variables;
  std::vector<ManifestFile> files;  // [[file]] and expanded [[tree]] entries, in order
  std::vector<ManifestShortcut> shortcuts;
  InstallerInfo installer;
  uint64_t script_size = 0;         // the install script's size in bytes
  size_t room = 0;                  // how long the install folder may be (the installer's own check)
  std::vector<std::string> warnings;  // one line each, "FILE:LINE: warning: ..."
};

// Reads, expands and checks a manifest, with the build-time values of the command
// line (defines.h). Throws PackError (see errors.h) naming the manifest and, where
// there is one, the line.
Manifest load_manifest(const std::filesystem::path& path, const Defines& defines = Defines());
// The same in the command's installer session, whose variable table then holds the
// manifest's variables.
Manifest load_manifest(const std::filesystem::path& path, const Defines& defines, InstallerSession& session);

// The install script of a checked manifest (the files are read now; a file that
// changed size since it was checked is an error). files_read, when given, is told
// the number of files read so far after each.
using FilesRead = std::function<void(size_t done)>;
std::vector<uint8_t> build_script(const Manifest& manifest, const FilesRead& files_read = nullptr);

// The install script of a checked manifest with every file empty: what the installer's
// check of its paths reads (it reads no content).
std::vector<uint8_t> paths_script(const Manifest& manifest);

// The shortcuts section's text: four lines per shortcut, joined by LF.
std::u16string shortcut_text(const std::vector<ManifestShortcut>& shortcuts);

}  // namespace tvpack
