// The files section of the install script: every file the package carries.
//   int count (none when <= 0), then per record, packed:
//   path (UTF-16LE, NUL-terminated, may hold {Variables}), int size S, S bytes.
#pragma once
#include <cstddef>
#include <cstdint>

#include "actions/progress.h"
#include "package/script.h"

namespace tv {

constexpr size_t kPromptUnits = 1024;  // the retry prompt's buffer, its NUL included
// A file is written in slices of at most this many bytes, with progress reported
// after each, so that a window can be serviced inside a large file.
constexpr uint32_t kSliceBytes = 2u << 20;

// Writes every file of the files section at the script cursor, in order, creating
// the directories above each. The cursor moves past each record before its file is
// written. A file that cannot be opened, or any of whose slices or whose close
// fails, brings up the retry prompt (after about a second of quiet attempts when it
// failed for a lock another program holds, actions/quiet_retry.h): Retry writes that
// file again from its start,
// Cancel stops. Progress (null: none) is reported once before the first file and
// after every slice and file. Returns 1 when all were written; 0 on Cancel (earlier
// files stay, later ones are not written) and for a damaged record, which has then
// been reported.
int extract_files(const ProgressSink* sink = nullptr);

// The sum of the sizes of the files section's records that lie wholly inside the
// script, from `at` to `end`, without moving any cursor or reporting anything: the
// total of the progress bar. It stops at the first damaged record.
uint64_t files_section_bytes(const uint8_t* at, const uint8_t* end);

// Reads one record at the cursor and moves the cursor past it: the path template,
// the size and the content in place. False for a damaged record (a negative size, or
// one that runs past the script), which has then been reported.
bool read_file_record(ScriptCursor& cursor, char16_t** templ, uint32_t* size, const uint8_t** content);

// The retry prompt's text for path into out (kPromptUnits units, zero-filled first):
// "无法写入文件: " path "\n" "请先关闭" product "！", with the product's name as the
// installer carries it (product_names.h; "Talvenor" without one). A path too long
// for the buffer is cut so that the whole text still fits.
void build_write_prompt(char16_t* out, const char16_t* path);

}  // namespace tv
