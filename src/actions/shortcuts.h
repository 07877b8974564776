// The shortcuts section of the install script: one string of lines separated by
// LF. Each line that is exactly "icon" starts a record of the three lines after
// it: the target, its arguments and the shortcut's location (a folder, a
// backslash and the shortcut's name without ".lnk"), each may hold {Variables}.
#pragma once
#include <cstddef>

namespace tv {

constexpr size_t kMaxShortcutLines = 1024;  // lines past these are not looked at

// Creates the shortcuts of the section at the script cursor and moves the cursor
// past its string. The string is split in place (each LF becomes NUL). A record
// with a line that does not expand, or that the string ends before, is passed over,
// as is one whose location has no backslash. Returns 1; 0 when the string runs
// past the end of the script (reported as a damaged package).
int create_shortcuts();

// Saves folder\name.lnk starting target with args (empty args: none), shown
// normally. 0 without saving for a null folder or a file name of 260 units or more;
// else 1 when the shortcut was saved. Failures show nothing.
int create_shortcut(const char16_t* folder, const char16_t* target, const char16_t* args,
                    const char16_t* name);

}  // namespace tv
