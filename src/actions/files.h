// The files section of the install script: every file the package carries.
//   int count (none when <= 0), then per record, packed:
//   path (UTF-16LE, NUL-terminated, may hold {Variables}), int size S, S bytes.
#pragma once
#include <cstddef>
#include <cstdint>

#include "package/script.h"

namespace tv {

constexpr size_t kPromptUnits = 1024;  // the retry prompt's buffer, its NUL included

// Writes every file of the files section at the script cursor, in order, creating
// the directories above each. The cursor moves past each record before its file is
// written. A file that cannot be opened, written or closed brings up the retry
// prompt: Retry writes that file again from its start, Cancel stops. Returns 1 when
// all were written; 0 on Cancel (earlier files stay, later ones are not written)
// and for a damaged record, which has then been reported.
int extract_files();

// Reads one record at the cursor and moves the cursor past it: the path template,
// the size and the content in place. False for a damaged record (a negative size, or
// one that runs past the script), which has then been reported.
bool read_file_record(ScriptCursor& cursor, char16_t** templ, uint32_t* size, const uint8_t** content);

// The retry prompt's text for path into out (kPromptUnits units, zero-filled first):
// "无法写入文件: " path "\n" "请先关闭Talvenor！". A path too long for the buffer is
// cut so that the whole text still fits.
void build_write_prompt(char16_t* out, const char16_t* path);

}  // namespace tv
