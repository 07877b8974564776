#include "actions/shortcuts.h"

#include "actions/directories.h"
#include "package/script.h"
#include "platform/platform.h"
#include "base/text16.h"
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

const char16_t* line_or_null(char16_t* const* lines, size_t count, size_t index) {
  return index < count ? lines[index] : nullptr;
}

// folder\name.lnk into file (kMaxPath units); false when it does not fit.
bool link_file_name(char16_t* file, const char16_t* folder, const char16_t* name) {
  size_t at = 0;
  return append(file, &at, folder) && append(file, &at, u"\\") && append(file, &at, name) &&
         append(file, &at, u".lnk");
}

// One record, as the installer makes it.
void create_from_plan(void*, ShortcutPlan plan, const PlannedShortcut& p) {
  if (plan != ShortcutPlan::kShortcut && plan != ShortcutPlan::kNameTooLong) return;
  create_directory_tree(p.folder);
  create_shortcut(p.folder, p.target, p.args, p.name);
}

}  // namespace

ShortcutPlan plan_shortcut(const char16_t* target_line, const char16_t* args_line,
                           const char16_t* location_line, PlannedShortcut* out) {
  out->lines[0] = target_line;
  out->lines[1] = args_line;
  out->lines[2] = location_line;
  out->target = expand_variables(target_line);
  out->args = expand_variables(args_line);
  out->location = expand_variables(location_line);
  if (out->target == nullptr || out->args == nullptr || out->location == nullptr)
    return ShortcutPlan::kNotExpanded;
  switch (split_at_last_backslash(out->location, out->folder, &out->name)) {
    case ParentSplit::kNoBackslash:
      return ShortcutPlan::kNoFolder;
    case ParentSplit::kParentTooLong:
      return ShortcutPlan::kFolderTooLong;
    case ParentSplit::kSplit:
      break;
  }
  return link_file_name(out->file, out->folder, out->name) ? ShortcutPlan::kShortcut : ShortcutPlan::kNameTooLong;
}

int create_shortcut(const char16_t* folder, const char16_t* target, const char16_t* args,
                    const char16_t* name) {
  if (folder == nullptr) return 0;
  char16_t file[kMaxPath] = {};
  if (!link_file_name(file, folder, name)) return 0;
  const char16_t* arguments = (args != nullptr && unit_at(args, 0) != 0) ? args : nullptr;
  return save_shortcut(file, target, arguments, kShowNormal) ? 1 : 0;
}

size_t split_shortcut_lines(char16_t* text, char16_t** lines) {
  size_t count = 1;
  lines[0] = text;
  for (size_t i = 0;; ++i) {
    char16_t c = unit_at(text, i);
    if (c == 0) break;
    if (c != u'\n') continue;
    set_unit(text, i, 0);
    if (count < kMaxShortcutLines) lines[count++] = text + i + 1;
  }
  return count;
}

size_t find_shortcut_marker(char16_t* const* lines, size_t count, size_t from) {
  while (from < count && !u16eq(lines[from], u"icon")) ++from;
  return from < count ? from : count;
}

size_t plan_shortcuts(char16_t* text, VisitShortcut visit, void* context) {
  char16_t* lines[kMaxShortcutLines] = {};
  size_t count = split_shortcut_lines(text, lines);
  for (size_t j = find_shortcut_marker(lines, count, 0); j < count;
       j = find_shortcut_marker(lines, count, j + 4)) {
    PlannedShortcut p;
    p.marker = j;
    ShortcutPlan plan = plan_shortcut(line_or_null(lines, count, j + 1),
                                      line_or_null(lines, count, j + 2),
                                      line_or_null(lines, count, j + 3), &p);
    visit(context, plan, p);
  }
  return count;
}

int create_shortcuts() {
  char16_t* text = nullptr;
  if (!read_string(script_cursor(), &text)) return 0;
  plan_shortcuts(text, create_from_plan, nullptr);
  return 1;
}

}  // namespace tv
