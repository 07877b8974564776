// The check of the chosen install folder: its shape (actions/path_rules.h), its
// drive, and the shell's own folders, each refusal a warning box with OK.
#include "install/folder_check.h"

#include "actions/path_rules.h"
#include "base/path_limit.h"
#include "install/existing_part.h"
#include "actions/product_names.h"
#include "install/message_text.h"
#include "platform/platform.h"
#include "base/text16.h"

namespace tv {
namespace {

constexpr size_t kTextUnits = 768;  // the typed folder twice at most, and the words
constexpr const char16_t* kCaption = u"安装目录无效";

// A refusal: the typed folder in quotes, then the text's parts.
void refuse(const char16_t* typed, const char16_t* after, const char16_t* more = u"",
            const char16_t* end = u"") {
  char16_t text[kTextUnits];
  TextBuilder b = start_text(text, kTextUnits);
  add(add(add(add(add(add(b, u"“"), typed), u"”"), after), more), end);
  show_message(text, kCaption, kMbOk | kMbIconWarning);
}

// The example the boxes give: the product's folder in root (root_units of the drive or
// share typed), or on drive D: when none was typed; a full stop after it.
TextBuilder& add_example(TextBuilder& b, const char16_t* root, size_t root_units) {
  char16_t name[kMaxFolderNameUnits + 1];
  example_folder_name(name);
  if (root_units == 0) root = u"D:", root_units = 2;
  return add(add(add(add_units(b, root, root_units), u"\\"), name), u"。");
}

// "C:Kesta" names its drive.
bool is_drive_letter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// The box for a folder of the wrong shape.
void refuse_shape(const char16_t* folder, const char16_t* typed, const FolderShape& shape) {
  char16_t part[kTextUnits];
  TextBuilder b = start_text(part, kTextUnits);
  switch (shape.fault) {
    case FolderFault::kNotFull:
      add_example(b, folder, is_drive_letter(unit_at(folder, 0)) && unit_at(folder, 1) == u':' ? 2 : 0);
      return refuse(typed, u"不是完整的安装目录。请输入完整的安装目录，例如 ", part);
    case FolderFault::kRoot:
      add_example(b, folder, shape.root);
      return refuse(typed, u"是磁盘或共享的根目录。请在其中指定一个文件夹，例如 ", part);
    case FolderFault::kBadCharacter:
      return refuse(typed, u"含有 Windows 不允许的字符（< > \" | ? * / : 或控制字符）。请删去这些字符。");
    case FolderFault::kBadName:
      if (shape.name_units == 0)
        return refuse(typed, u"中有连续的反斜杠。请删去多余的反斜杠。");
      add_units(add(b, u"中的“"), folder + shape.name_at, shape.name_units);
      return refuse(typed, part,
                    u"”不能用作 Windows 文件夹名（设备名、以点或空格结尾的名称、“.”和“..”）。"
                    u"请换一个名称。");
    case FolderFault::kNone:
      return;
  }
}

struct OwnFolderSearch {
  const char16_t* folder;    // as typed, trailing backslashes stripped
  const char16_t* resolved;  // its existing part as Windows names it (resolve_folder)
  bool holds;
};

// One of the shell's folders: the chosen folder is it, or holds it, by the names
// given or by the names Windows itself uses for both.
void note_own_folder(void* context, const char16_t* own) {
  OwnFolderSearch& s = *static_cast<OwnFolderSearch*>(context);
  if (own[0] == 0 || s.holds) return;
  char16_t named[kMaxPath];
  if (!final_path(own, named)) u16copy(named, kMaxPath, own);
  strip_trailing_backslashes(named);
  s.holds = folder_holds(s.folder, own) || folder_holds(s.resolved, named);
}

// The 64-bit program files, which the shell names only to a 64-bit program: a 32-bit
// one on 64-bit Windows finds them in its environment.
void note_64_bit_program_files(OwnFolderSearch* search) {
  for (const char16_t* name : {u"ProgramW6432", u"CommonProgramW6432"}) {
    char16_t path[kMaxPath];
    if (environment_value(name, path)) note_own_folder(search, path);
  }
}

}  // namespace

bool check_install_folder(const char16_t* folder, const char16_t* typed) {
  FolderShape shape = judge_folder(folder);
  if (shape.fault != FolderFault::kNone) {
    refuse_shape(folder, typed, shape);
    return false;
  }
  if (unit_at(folder, 1) == u':' && !drive_exists(unit_at(folder, 0))) {
    char16_t drive[3] = {unit_at(folder, 0), u':', 0};
    refuse(typed, u"所在的磁盘 ", drive, u" 不存在。请选择已有磁盘上的文件夹。");
    return false;
  }
  char16_t resolved[kMaxPath];
  resolve_folder(folder, resolved);
  OwnFolderSearch search = {folder, resolved, false};
  list_own_folders(note_own_folder, &search);
  note_64_bit_program_files(&search);
  if (search.holds) {
    refuse(typed, u"是系统或您自己的文件夹（或包含这样的文件夹），安装时会被整个移走。"
                  u"请另选一个新文件夹。");
    return false;
  }
  return true;
}

}  // namespace tv
