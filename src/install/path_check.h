// The check of every path the package would write, against the chosen install
// folder, made when the install button is pressed and before anything is moved or
// written.
#pragma once
#include <cstddef>

namespace tv {

enum class PathCheck {
  kFits,      // every path fits, and every name is one Windows can hold
  kTooLong,   // the folder leaves no room for a path: *room is the longest one that does
  kDamaged,   // the package is malformed; the damaged-package box has been shown
};

// What the check found wrong with one path of the package.
enum class PathFault {
  kNotExpanded,  // a file path that no folder lets expand (or fit): the files step stops
  kBadName,      // a name Windows cannot hold, in what the package contributes to a path
  kNone,         // no fault: a path that passes, told to a visitor alone (no finding)
};

// One finding, and where: which record of which section, and which name.
struct PathVerdict {
  PathFault fault;
  bool shortcut;        // the record is a shortcut's (counted by markers), else a file's
  unsigned record;      // its index in its section
  const char16_t* path; // kBadName, kNone: the path as judged, each folder variable one
                        // mark (marked_folder); valid while the verdict is visited
  size_t name_at;       // kBadName: the name, units from its start
  size_t name_units;
};

// The folder variable ("{App}", "{Desktop}", ...) that unit stands for in a judged
// path, or null for a unit of the package's own text.
const char16_t* marked_folder(char16_t unit);

// Told each finding; returns true to look on.
using VisitPathVerdict = bool (*)(void* context, const PathVerdict& verdict);

// Reads the files section's paths (not their contents) and the shortcuts section's
// shortcut files as the install sequence would with "{App}" = folder, on copies of
// the script cursor and the saved cursor, and leaves the variable table, the script
// and the cursors as they were. Only what the package contributes to a path is held
// against the name rule (actions/path_rules.h), not the folder variables' values.
// The first finding makes the package damaged (reported); visit (null: none) is told
// every finding, and every path that passes (kNone), until it returns false.
PathCheck check_install_paths(const char16_t* folder, unsigned* room, VisitPathVerdict visit = nullptr,
                              void* context = nullptr);

// Why the installer stops at a finding (the damaged package's reason).
const char* path_fault_reason(PathFault fault);

}  // namespace tv
