// talvenor-pack try --over: the old version installed first, the new one over it, and
// what an upgrade must leave: the old folder whole under the old version's name, the
// new files in the folder, nothing else changed.
#pragma once
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "try/check.h"
#include "try/dialogs.h"
#include "try/run_record.h"
#include "try/snapshot.h"
#include "try/try.h"

namespace tvpack {

struct Upgrade {
  std::string installer;                  // the old version, as given
  std::string folder_text;                // typed for both versions
  TryRun run;                             // the old version's install
  CheckResult check;                      // ... checked
  std::vector<std::string> failed;        // why the old version did not install as its package says
  Snapshot before;                        // the drives before the new version's install
  std::filesystem::path folder_host;      // the old folder on the host, before
  CheckResult kept;                       // the old version's files below its new name
  std::vector<std::string> not_whole;     // the old folder not moved whole
  std::vector<std::string> left_behind;   // the old version's shortcuts the new one does not make
  std::vector<std::string> changed;       // besides the upgrade
  // The old version's files outside its folder, before the new version's install: the
  // host path and a digest of its bytes; and those the new version then replaced with
  // other bytes (a Windows path each): a user's changes to them would be lost.
  std::map<std::filesystem::path, uint64_t> outside_before;
  std::vector<std::string> replaced;
  std::vector<std::string> steps;         // --running, one line a step
  Child program;                          // --running: the old version's program
};

// Installs the old version (name, a file of drive T:; up->run.shell_folders read
// already) into up->folder_text as try installs (its screenshots in shots/oldN), and
// checks it (up->check); false when its finish dialog was never reached. The verdict
// on it (up->failed) is the report's, as for any run.
bool install_old_version(DriverSession& driver, Sandbox& sandbox, const TryOptions& opt, InstallWalk& walk,
                         const std::vector<uint8_t>& bytes, const std::string& name,
                         const ShortcutReader& read_shortcut, Upgrade* up);

// --running: starts the old version's program ({Launch}) and holds its folder open, as
// Windows does while a program in it runs.
void start_old_program(DriverSession& driver, Sandbox& sandbox, Upgrade* up);
// --running, after the rename box: the program ended as a user closing it would, the
// folder let go.
void close_old_program(DriverSession& driver, Sandbox& sandbox, Upgrade* up);

// Before the new version's install: the bytes of the old version's files (not its
// shortcuts) outside its folder, to tell after it which the new version replaced with
// other bytes.
void remember_outside_files(const std::filesystem::path& prefix, Upgrade* up);

// After the new version's install (run, checked as check): the old version whole under
// run.moved_aside (read in walk, started over), its shortcuts the new one does not
// make, and what else changed.
void check_upgrade(InstallWalk& walk, const std::vector<uint8_t>& old_bytes, const TryRun& run, const CheckResult& check,
                   const std::filesystem::path& prefix, Upgrade* up);

// Where the install moved an existing folder aside (the installer's own old-version
// name not there before), "" when it did not.
std::string moved_aside(const std::filesystem::path& prefix, const std::string& folder, const Snapshot& before);

}  // namespace tvpack
