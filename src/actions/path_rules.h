// The names Windows cannot hold as written: the rule for one component of a path, the
// characters no name may hold, and the rule for the product's folder name.
#pragma once
#include <cstddef>

namespace tv {

// True when Windows would not keep a path component of `units` UTF-16 units under
// that name: its name before the first dot, with trailing spaces removed, is a
// device (CON, PRN, AUX, NUL, COM0-COM9, LPT0-LPT9, COM or LPT with a superscript
// 1, 2 or 3, CONIN$, CONOUT$; in any case), or it ends in a dot or a space ("." and
// ".." excepted). The component may sit at any byte offset and holds no backslash.
bool windows_cannot_hold(const char16_t* name, size_t units);

// A unit that no file or folder name may hold: a control character or one of <>:"|?*.
bool forbidden_in_name(char16_t c);

// The longest folder name Windows keeps: a name of a path is at most 255 units.
constexpr size_t kMaxFolderNameUnits = 255;

// True when name (units UTF-16 units, at any byte offset) can be the product's folder
// name, the one folder the browse button and the default install folder add: 1 to
// kMaxFolderNameUnits units, no backslash or slash, no unit forbidden_in_name, not
// "." or "..", and not a name Windows cannot hold.
bool is_folder_name(const char16_t* name, size_t units);

}  // namespace tv
