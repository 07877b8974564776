// talvenor-pack try, the check: the installed files and shortcuts against the package.
#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "session/install_walk.h"

namespace tvpack {

struct Placed {
  std::string what;   // the package's name for it ("{Desktop}\\x.lnk")
  std::string where;  // the Windows path it went to
  bool shortcut = false;
};
struct CheckResult {
  std::string folder;  // the install folder, as the installer takes it
  size_t files = 0, shortcuts = 0;               // in the package
  size_t files_ok = 0, shortcuts_ok = 0;
  std::vector<std::string> problems;             // one line each
  std::vector<Placed> outside;                   // outside the install folder
  std::vector<std::string> listing;              // each file and shortcut with its verdict
  std::string package_stops;                     // why the package stops the installer ("" none)
  std::string launch, help;                      // what the finish dialog starts ("" none)
  std::vector<std::filesystem::path> placed;     // the host path of every file and shortcut checked
  std::vector<std::string> shortcut_files;       // each shortcut's .lnk, a Windows path
  std::vector<std::string> notes;                // what Wine cannot show, which is no failure
};

// Reads a .lnk file's target and arguments (UTF-8); "" when it did, else why not.
using ShortcutReader = std::function<std::string(const std::u16string& link, std::string* target, std::string* args)>;
// The command's one walk (and session), started over to read the next package afresh
// for a machine's shell folders (CSIDL -> path).
void start_over(InstallWalk& walk, const std::map<int, std::u16string>& shell_folders);

// The prefix's drives against the package read (in walk, started over) for the shell
// folders (CSIDL -> path) and the edit box's text. Every shortcut's target must exist
// after the install.
CheckResult check_installation(InstallWalk& walk, const std::vector<uint8_t>& bytes,
                               const std::map<int, std::u16string>& shell_folders, const std::string& edit_text,
                               const std::filesystem::path& prefix, const ShortcutReader& read_shortcut);

// An old version after an upgrade: each file of its package that the installer put in
// folder (edit_text as the installer takes it) is now below moved (the name the new
// installer gave the old version) with its bytes, and nothing else is there (read in
// walk, started over).
CheckResult check_old_version(InstallWalk& walk, const std::vector<uint8_t>& bytes,
                              const std::map<int, std::u16string>& shell_folders, const std::string& edit_text,
                              const std::u16string& moved, const std::filesystem::path& prefix);

}  // namespace tvpack
