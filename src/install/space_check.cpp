// The room on the drive: the files' total against the space free, and the question
// when it is short.
#include "install/space_check.h"

#include "actions/files.h"
#include "actions/path_rules.h"
#include "install/existing_part.h"
#include "install/message_text.h"
#include "package/script.h"
#include "platform/platform.h"
#include "base/text16.h"
#include "variables/expand.h"

namespace tv {
namespace {

// "安装需要 N MB 磁盘空间，D: 上只有 M MB 可用。是否仍要安装？"
bool ask_to_install_anyway(uint64_t needed, uint64_t free, const char16_t* drive,
                           size_t drive_units) {
  char16_t text[kMaxPath + 96];
  TextBuilder b = start_text(text, kMaxPath + 96);
  add(add_megabytes(add(b, u"安装需要 "), needed, true), u" 磁盘空间，");
  add(add_megabytes(add(add_units(b, drive, drive_units), u" 上只有 "), free, false),
      u" 可用。是否仍要安装？");
  return show_message(text, u"磁盘空间不足", kMbYesNo | kMbIconWarning | kMbDefaultButton2) ==
         kIdYes;
}

}  // namespace

bool confirm_free_space(const char16_t* folder) {
  // A share is not asked: the network is not probed before the install needs it.
  if (unit_at(folder, 1) != u':') return true;
  const ScriptCursor& at = script_cursor();
  uint64_t needed = files_section_bytes(at);
  size_t root = judge_folder(folder).root;
  char16_t dir[kMaxPath + 1];
  deepest_existing(folder, root, dir);
  uint64_t free = 0;
  if (needed == 0 || !free_space(dir, &free) || free >= needed) return true;
  return ask_to_install_anyway(needed, free, folder, root);
}

}  // namespace tv
