// The check of every path the package would write, against the chosen install
// folder, made when the install button is pressed and before anything is moved or
// written.
#pragma once

namespace tv {

enum class PathCheck {
  kFits,      // every path fits, and every name is one Windows can hold
  kTooLong,   // the folder leaves no room for a path: *room is the longest one that does
  kDamaged,   // the package is malformed; the damaged-package box has been shown
};

// Reads the files section's paths (not their contents) and the shortcuts section's
// shortcut files as the install sequence would with "{App}" = folder, on copies of
// the script cursor and the saved cursor, and leaves the variable table, the script
// and the cursors as they were. Only what the package contributes to a path is held
// against the name rule (actions/path_rules.h), not the folder variables' values.
PathCheck check_install_paths(const char16_t* folder, unsigned* room);

}  // namespace tv
