// The text of the box for a folder Windows will not let the installer write.
#include "install/unwritable_box.h"

#include "install/message_text.h"

namespace tv {

void unwritable_text(char16_t* out, const char16_t* typed, FileError why,
                     const char16_t* suggestion) {
  const char16_t* reason = u"没有写入权限";
  const char16_t* lead = u"请选择其他文件夹";
  const char16_t* tail = u"，或以管理员身份运行安装程序。";
  if (why == FileError::kReadOnly) {
    reason = u"磁盘是只读的";
    tail = u"。";
  } else if (why == FileError::kNotReady) {
    reason = u"磁盘没有准备好";
    lead = u"请插入磁盘，或选择其他文件夹";
    tail = u"。";
  }
  TextBuilder b = start_text(out, kUnwritableTextUnits);
  add(add(add(add(add(add(b, u"无法写入 "), typed), u"："), reason), u"。\n"), lead);
  if (suggestion[0] != 0) add(add(b, u"，例如 "), suggestion);
  add(b, tail);
}

}  // namespace tv
