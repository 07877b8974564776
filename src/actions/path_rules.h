// The names Windows cannot hold as written: the rule for one component of a path.
#pragma once
#include <cstddef>

namespace tv {

// True when Windows would not keep a path component of `units` UTF-16 units under
// that name: its name before the first dot, with trailing spaces removed, is a
// device (CON, PRN, AUX, NUL, COM0-COM9, LPT0-LPT9, COM or LPT with a superscript
// 1, 2 or 3, CONIN$, CONOUT$; in any case), or it ends in a dot or a space ("." and
// ".." excepted). The component may sit at any byte offset and holds no backslash.
bool windows_cannot_hold(const char16_t* name, size_t units);

}  // namespace tv
