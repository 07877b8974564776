// The names Windows cannot hold as written (devices, trailing dots and spaces), the
// characters no name holds, the product's folder name, and the folders Windows
// cannot use as typed.
#pragma once
#include <cstddef>

#include "base/name_characters.h"  // forbidden_in_name

namespace tv {

// True when Windows would not keep a path component of `units` UTF-16 units under
// that name: its name before the first dot, with trailing spaces removed, is a
// device (CON, PRN, AUX, NUL, COM0-COM9, LPT0-LPT9, COM or LPT with a superscript
// 1, 2 or 3, CONIN$, CONOUT$; in any case), or it ends in a dot or a space ("." and
// ".." excepted). The component may sit at any byte offset and holds no backslash.
bool windows_cannot_hold(const char16_t* name, size_t units);


// The longest folder name Windows keeps: a name of a path is at most 255 units.
constexpr size_t kMaxFolderNameUnits = 255;

// What keeps a name (units UTF-16 units, at any byte offset) from being the product's
// folder name, the one folder the browse button and the default install folder add.
enum class NameFault {
  kNone,        // 1 to kMaxFolderNameUnits units, none below, and one Windows can hold
  kEmpty,
  kTooLong,     // more than kMaxFolderNameUnits units
  kSeparator,   // a backslash or a slash: unit `at`
  kForbidden,   // a unit forbidden_in_name: unit `at`
  kCannotHold,  // "." or "..", or a name Windows cannot hold
};
struct NameVerdict {
  NameFault fault;
  size_t at;  // kSeparator, kForbidden: the first such unit
};
NameVerdict judge_folder_name(const char16_t* name, size_t units);
inline bool is_folder_name(const char16_t* name, size_t units) {
  return judge_folder_name(name, units).fault == NameFault::kNone;
}

// What keeps Windows from using a typed folder as the install folder.
enum class FolderFault {
  kNone,          // a drive or a share, then at least one folder name
  kNotFull,       // no drive ("Kesta", "\Kesta"), or one without its backslash ("C:Kesta")
  kRoot,          // a drive ("C:", which "C:\" becomes) or a share, with no folder below
  kBadCharacter,  // < > " | ? * /, a control character, or a ":" other than the drive's
  kBadName,       // a name Windows cannot hold, ".", "..", or none (two backslashes)
};

struct FolderShape {
  FolderFault fault;
  size_t root;       // the units of the drive ("D:") or share ("\\server\share") it starts with
  size_t name_at;    // kBadName: where the name starts, and its units
  size_t name_units;
};

// The shape of an install folder as typed, trailing backslashes stripped: a full
// path "X:\name..." or "\\server\share\name...", every name one Windows holds.
FolderShape judge_folder(const char16_t* folder);

// True when inner is folder itself or lies below it. Both are full paths without
// trailing backslashes. Names compare by the system's own rule for file names in
// either case (platform/platform.h).
bool folder_holds(const char16_t* folder, const char16_t* inner);

// Removes the whole run of backslashes at the end of text, in place.
void strip_trailing_backslashes(char16_t* text);

}  // namespace tv
