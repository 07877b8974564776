// The shortcuts section of the install script: one string of lines separated by
// LF. Each line that is exactly "icon" starts a record of the three lines after
// it: the target, its arguments and the shortcut's location (a folder, a
// backslash and the shortcut's name without ".lnk"), each may hold {Variables}.
#pragma once
#include <cstddef>

#include "variables/expand.h"

namespace tv {

constexpr size_t kMaxShortcutLines = 1024;  // lines past these are not looked at

// Splits the section's text in place (each LF becomes NUL); lines (kMaxShortcutLines
// entries) gets the start of each of the first lines. Returns the number of lines in
// the table.
size_t split_shortcut_lines(char16_t* text, char16_t** lines);

// The first marker line ("icon") at or after `from` among `count` lines, or count.
// The three lines after a marker are its record: scanning goes on 4 lines later.
size_t find_shortcut_marker(char16_t* const* lines, size_t count, size_t from);

// What one record gives: the target, arguments and location lines (null when the
// text ends first) expanded, the folder to create and the shortcut file to save.
enum class ShortcutPlan {
  kShortcut,      // folder created, file saved
  kNotExpanded,   // a line does not expand (or is missing): nothing
  kNoFolder,      // the location has no backslash: nothing
  kFolderTooLong, // the folder does not fit 260 units: nothing
  kNameTooLong,   // folder created, but folder\name.lnk does not fit 260 units
};
struct PlannedShortcut {
  size_t marker = 0;                  // the index of the record's marker line
  const char16_t* lines[3] = {};      // the target, arguments and location lines as stored
  const char16_t* target = nullptr;
  const char16_t* args = nullptr;
  const char16_t* location = nullptr;
  const char16_t* name = nullptr;  // after the location's last backslash
  char16_t folder[kMaxPath] = {};
  char16_t file[kMaxPath] = {};
};
ShortcutPlan plan_shortcut(const char16_t* target_line, const char16_t* args_line,
                           const char16_t* location_line, PlannedShortcut* out);

// Splits the section's text in place and plans each record, in order, as
// create_shortcuts does: visit gets the plan of every marker's record. Returns the
// number of lines looked at (split_shortcut_lines').
using VisitShortcut = void (*)(void* context, ShortcutPlan plan, const PlannedShortcut& planned);
size_t plan_shortcuts(char16_t* text, VisitShortcut visit, void* context);

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
