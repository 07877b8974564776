#include "actions/shortcuts.h"

#include "actions/directories.h"
#include "package/script.h"
#include "platform/platform.h"
#include "platform/text16.h"
#include "variables/expand.h"

namespace tv {
namespace {

constexpr int kShowNormal = 1;

// Appends text at buf[*at]; false when it (and a NUL after it) would not fit.
bool append(char16_t* buf, size_t* at, const char16_t* text) {
  for (size_t i = 0;; ++i) {
    char16_t c = unit_at(text, i);
    if (c == 0) break;
    if (*at + 1 >= kMaxPath) return false;
    buf[(*at)++] = c;
  }
  buf[*at] = 0;
  return true;
}

const char16_t* line_or_null(char16_t* const* lines, size_t index) {
  return index < kMaxShortcutLines ? lines[index] : nullptr;
}

// One record: the target, arguments and location lines (null when missing).
void create_from_record(const char16_t* target_line, const char16_t* args_line,
                        const char16_t* location_line) {
  const char16_t* target = expand_variables(target_line);
  const char16_t* args = expand_variables(args_line);
  const char16_t* location = expand_variables(location_line);
  if (target == nullptr || args == nullptr || location == nullptr) return;

  char16_t folder[kMaxPath] = {};
  const char16_t* name = location;
  const char16_t* folder_or_null = nullptr;
  switch (split_at_last_backslash(location, folder, &name)) {
    case ParentSplit::kParentTooLong:
      return;
    case ParentSplit::kSplit:
      create_directory_tree(folder);
      folder_or_null = folder;
      break;
    case ParentSplit::kNoBackslash:
      break;
  }
  create_shortcut(folder_or_null, target, args, name);
}

}  // namespace

int create_shortcut(const char16_t* folder, const char16_t* target, const char16_t* args,
                    const char16_t* name) {
  if (folder == nullptr) return 0;
  char16_t file[kMaxPath] = {};
  size_t at = 0;
  if (!append(file, &at, folder) || !append(file, &at, u"\\") || !append(file, &at, name) ||
      !append(file, &at, u".lnk"))
    return 0;
  const char16_t* arguments = (args != nullptr && unit_at(args, 0) != 0) ? args : nullptr;
  return save_shortcut(file, target, arguments, kShowNormal) ? 1 : 0;
}

int create_shortcuts() {
  char16_t* text = nullptr;
  if (!read_string(script_cursor(), &text)) return 0;

  // Split in place: every LF becomes NUL; the first lines get a table entry.
  char16_t* lines[kMaxShortcutLines] = {};
  size_t count = 1;
  lines[0] = text;
  for (size_t i = 0;; ++i) {
    char16_t c = unit_at(text, i);
    if (c == 0) break;
    if (c != u'\n') continue;
    set_unit(text, i, 0);
    if (count < kMaxShortcutLines) lines[count++] = text + i + 1;
  }

  for (size_t j = 0; j < count;) {
    if (u16eq(lines[j], u"icon")) {
      create_from_record(line_or_null(lines, j + 1), line_or_null(lines, j + 2),
                         line_or_null(lines, j + 3));
      j += 4;
    } else {
      j += 1;
    }
  }
  return 1;
}

}  // namespace tv
