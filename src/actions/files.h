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

// Why the files step stops at a record whose path does not expand.
constexpr const char* kFilePathDoesNotExpand = "a file path does not expand";

// One record of the files section, read in place: the path template, the size and
// the content.
struct FileRecord {
  char16_t* templ = nullptr;
  uint32_t size = 0;
  const uint8_t* content = nullptr;
};

// The files section's records, in order, each read through the bounded cursor the
// walk was made with (it moves past the count, then past each record read). Every
// visit of the section goes through it: the files step, the size total, the path
// check and the maker's reading.
class FileRecords {
 public:
  // Reads the count at cursor (none when it is <= 0).
  explicit FileRecords(ScriptCursor& cursor);
  // The next record; false after the last and for a damaged one (a count or a record
  // that runs past the script, a negative size), which the cursor then reported.
  bool next(FileRecord* record);
  bool damaged() const { return damaged_; }
  // The number of records read so far (the last one read is index() - 1).
  int32_t index() const { return read_; }

 private:
  ScriptCursor& cursor_;
  int32_t count_ = 0;
  int32_t read_ = 0;
  bool damaged_ = false;
};

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

// The sum of the sizes of the files section's records at `at` that lie wholly inside
// the script, read on a quiet copy of the cursor: nothing moves and nothing is
// reported. The total of the progress bar and of the space the install needs. It
// stops at the first damaged record.
uint64_t files_section_bytes(ScriptCursor at);

// The retry prompt's text for path into out (kPromptUnits units, zero-filled first):
// "无法写入文件: " path "\n" "请先关闭" product "！", with the product's name as the
// installer carries it (product_names.h; "Talvenor" without one). A path too long
// for the buffer is cut so that the whole text still fits.
void build_write_prompt(char16_t* out, const char16_t* path);

}  // namespace tv
