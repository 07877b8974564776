#include "install/install.h"

#include "actions/directories.h"
#include "actions/files.h"
#include "actions/path_rules.h"
#include "actions/product_names.h"
#include "actions/quiet_retry.h"
#include "actions/shortcuts.h"
#include "install/folder_check.h"
#include "install/message_text.h"
#include "install/path_check.h"
#include "install/space_check.h"
#include "install/write_probe.h"
#include "package/container.h"
#include "package/script.h"
#include "platform/platform.h"
#include "base/text16.h"
#include "variables/expand.h"
#include "variables/pool.h"
#include "variables/section.h"
#include "variables/table.h"

namespace tv {
namespace {

constexpr const char16_t* kOldVersionMark = u"_旧版本";
constexpr int kMaxOldVersions = 999;

}  // namespace

// path + "_旧版本" + number into out (kMaxPath units); false when longer than 259 units.
bool old_version_name(char16_t* out, const char16_t* path, int number) {
  TextBuilder b = start_text(out, kMaxPath);
  add_number(add(add(b, path), kOldVersionMark), unsigned(number));
  return !b.cut;
}

namespace {

// The box of a folder that leaves no room for the package's paths; room is the
// longest folder that does.
void show_folder_too_long(unsigned room) {
  char16_t text[96] = {};
  TextBuilder b = start_text(text, 96);
  add(b, u"安装目录太长，安装后的文件路径会超过 259 个字符。请选择不超过 ");
  add(add_number(b, room), u" 个字符的目录。");
  show_message(text, u"安装目录太长", kMbOk | kMbIconWarning);
}

// The folder as the user typed it (its first 259 units) into typed (kMaxPath
// units), for the boxes that quote it; the install directory itself when nothing
// but backslashes was typed.
void typed_folder(const char16_t* edit_text, const char16_t* path, char16_t* typed) {
  TextBuilder b = start_text(typed, kMaxPath);
  if (edit_text != nullptr) add(b, edit_text);
  char16_t stripped[kMaxPath];
  u16copy(stripped, kMaxPath, typed);
  strip_trailing_backslashes(stripped);
  if (stripped[0] == 0) u16copy(typed, kMaxPath, path);
}

// The box of an old installation that could not be moved aside, naming the product
// as the installer carries it: "重命名旧版本失败！请先关闭" product "。".
void show_old_version_held() {
  constexpr size_t kUnits = 13 + kMaxProductNameUnits + 2;
  char16_t text[kUnits] = {}, name[kProductNameUnits];
  product_name(name);
  TextBuilder b = start_text(text, kUnits);
  add(add(add(b, u"重命名旧版本失败！请先关闭"), name), u"。");
  show_message(text, u"无法安装", kMbOk | kMbIconError);
}

// Renames an existing installation at path to the first free "_旧版本N" name. A lock
// is waited out for about a second from the first attempt, the same name tried again;
// a taken name fails, and the next number is tried. True when nothing is left at path.
bool move_old_version_aside(const char16_t* path) {
  uint32_t start = milliseconds();
  for (int i = 1; i <= kMaxOldVersions; ++i) {
    if (!path_exists(path)) break;
    char16_t renamed[kMaxPath] = {};
    if (!old_version_name(renamed, path, i)) continue;
    if (!move_path(path, renamed) && retry_quietly(last_error(), milliseconds() - start)) {
      pause_milliseconds(kQuietPauseMs);
      --i;
    }
  }
  return !path_exists(path);
}

}  // namespace

int load_package(const ProgressSink* sink) {
  if (!unpack(sink)) return 0;
  set_folder_variables();
  rewind_script_cursor();
  if (!check_script_version()) return 0;
  saved_cursor() = script_cursor();
  if (!read_variables_section(script_cursor(), 0)) return 0;
  return 1;
}

void install_directory_from(const char16_t* edit_text, char16_t* path) {
  for (size_t i = 0; i < kMaxPath; ++i) path[i] = 0;
  if (edit_text != nullptr) {
    for (size_t i = 0; i + 1 < kMaxPath; ++i) {
      char16_t c = unit_at(edit_text, i);
      if (c == 0) break;
      path[i] = c;
    }
  }
  strip_trailing_backslashes(path);
  if (path[0] == 0) default_install_folder(path);
}

InstallOutcome run_install_sequence(const char16_t* edit_text, const ProgressSink* sink) {
  char16_t path[kMaxPath] = {};
  install_directory_from(edit_text, path);
  // A text longer than a path is never cut to one (its first 259 units may name
  // another folder): the too-long box, before the other checks.
  bool whole = edit_text == nullptr || u16len(edit_text) <= kMaxPathUnits;
  char16_t typed[kMaxPath];
  typed_folder(edit_text, path, typed);
  if (whole && !check_install_folder(path, typed)) return InstallOutcome::kFolderRefused;

  unsigned room = 0;
  switch (check_install_paths(path, &room)) {
    case PathCheck::kDamaged:
      return InstallOutcome::kFailed;
    case PathCheck::kTooLong:
      show_folder_too_long(room);
      return InstallOutcome::kFolderTooLong;
    case PathCheck::kFits:
      break;
  }
  if (!whole) {
    show_folder_too_long(room != 0 ? room : kMaxPathUnits);
    return InstallOutcome::kFolderTooLong;
  }
  if (!confirm_free_space(path)) return InstallOutcome::kSpaceDeclined;
  if (!check_folder_writable(path, typed)) return InstallOutcome::kFolderRefused;
  if (!move_old_version_aside(path)) {
    show_old_version_held();
    return InstallOutcome::kOldVersionHeld;
  }

  // The dialog and every later expansion use this value; the pool keeps it alive.
  variable_slot(u"{App}") = pool_string(path);

  ScriptCursor second = saved_cursor();
  if (!read_variables_section(second, 1)) return InstallOutcome::kFailed;
  create_directory_tree(path);
  if (!extract_files(sink)) return InstallOutcome::kFailed;
  if (!create_shortcuts()) return InstallOutcome::kFailed;
  report_finished(sink);
  return InstallOutcome::kInstalled;
}

}  // namespace tv
