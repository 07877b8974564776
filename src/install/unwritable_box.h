// The text of the box for a folder Windows will not let the installer write: the
// folder as typed, why (no right to write, a read-only disk, a disk not ready) and
// what to do, with a folder that can be written as the example.
#pragma once
#include <cstddef>

#include "base/file_error.h"

namespace tv {

// The buffer the text needs: the folder and the example (each at most 259 units)
// and the words.
constexpr size_t kUnwritableTextUnits = 2 * 260 + 64;

// "无法写入 " typed "：" why "。\n" then what to do, for example for kDenied
// "请选择其他文件夹，例如 " suggestion "，或以管理员身份运行安装程序。" into out
// (kUnwritableTextUnits units); without the example when suggestion is empty. why is
// kDenied, kReadOnly or kNotReady.
void unwritable_text(char16_t* out, const char16_t* typed, FileError why,
                     const char16_t* suggestion);

}  // namespace tv
