// Loading the package and the install sequence, as plain procedures that need no
// window: the install dialog only supplies the path text and shows the outcome.
#pragma once

#include "actions/progress.h"

namespace tv {

// Loading when the install dialog opens: unpack, folder variables, header check,
// saved cursor, first reading of the variables section. Progress goes to sink (null:
// nowhere) while the package is unpacked, full once it is. 1 on success; 0 when the
// failing step has shown its message, or unpacking was stopped (the dialog then
// cancels itself).
int load_package(const ProgressSink* sink = nullptr);

enum class InstallOutcome {
  kInstalled,       // the dialog ends with 1
  kOldVersionHeld,  // the old installation could not be moved aside; the dialog stays open
  kFolderTooLong,   // the folder leaves no room for the package's paths; the dialog stays open
  kFolderRefused,   // Windows cannot use the folder as typed, it is the shell's own, or
                    // Windows will not let the installer write it: ditto
  kSpaceDeclined,   // the drive is short of space and the user chose not to go on: ditto
  kFailed,          // the dialog is cancelled (ends with 2)
};

// The install sequence for the text of the install-directory edit box (a text
// longer than 259 units is refused as too long, never cut): strip trailing
// backslashes, default "D:\Kesta" (or the product's folder, actions/product_names.h),
// check the folder (one Windows can use as typed, on a drive that exists, none of
// the shell's own folders by any name), check every path of the package with that
// folder, ask when the drive is short of space, ask Windows whether the folder may
// be written (write_probe.h) (nothing is moved or written for a folder refused, a
// folder too long for the paths, a package with a name Windows cannot hold, or a No
// to the space box or the box of a folder that cannot be written), move an existing
// installation aside (a brief lock waited out), set "{App}", read the variables
// again, create the directory, write the files, create the shortcuts. Progress goes
// to sink (null: nowhere): from the files step on, and full once the shortcuts are
// done.
InstallOutcome run_install_sequence(const char16_t* edit_text,
                                    const ProgressSink* sink = nullptr);

// The install directory from the edit box's text, as the install sequence takes it:
// at most 259 units, trailing backslashes stripped, default_install_folder() when
// nothing is left.
// path has kMaxPath units.
void install_directory_from(const char16_t* edit_text, char16_t* path);

// The name an existing installation at path is moved aside to: path + "_旧版本" +
// number into out (kMaxPath units); false when longer than 259 units.
bool old_version_name(char16_t* out, const char16_t* path, int number);

}  // namespace tv
