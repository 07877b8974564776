#include "actions/files.h"

#include <cstdint>

#include "actions/directories.h"
#include "actions/product_names.h"
#include "actions/quiet_retry.h"
#include "package/script.h"
#include "platform/platform.h"
#include "base/text16.h"
#include "variables/expand.h"

namespace tv {
namespace {

constexpr const char16_t* kPromptHead = u"无法写入文件: ";
constexpr const char16_t* kPromptClose = u"\n请先关闭";  // then the product's name
constexpr const char16_t* kPromptEnd = u"！";

// Appends up to `limit` units of text at out[*at].
void append(char16_t* out, size_t* at, const char16_t* text, size_t limit) {
  for (size_t i = 0; i < limit; ++i) {
    char16_t c = unit_at(text, i);
    if (c == 0) break;
    out[(*at)++] = c;
  }
}

struct FileToWrite {
  const char16_t* path;
  const uint8_t* content;
  uint32_t size;
  Progress* progress;
};

// One attempt: open "wb", write the content slice by slice, close. A failed slice
// ends the attempt; the file is closed either way. error: the first failure's.
bool write_whole_file(void* context, uint32_t* error) {
  const FileToWrite& f = *static_cast<const FileToWrite*>(context);
  OutputFile* file = open_for_write(f.path);
  if (file == nullptr) return *error = last_error(), false;
  bool written = true;
  for (uint32_t at = 0; written && at < f.size;) {
    uint32_t slice = f.size - at < kSliceBytes ? f.size - at : kSliceBytes;
    written = write_file(file, f.content + at, slice);
    if (!written) *error = last_error();
    at += slice;
    report_progress(*f.progress, at);
  }
  bool closed = close_file(file);
  if (written && !closed) *error = last_error();
  return written && closed;
}

// Writes the file, brief locks waited out, asking whether to retry after each
// failure. False on Cancel.
bool write_with_retry(const char16_t* path, const uint8_t* content, uint32_t size,
                      Progress& progress) {
  FileToWrite file = {path, content, size, &progress};
  while (!attempt_patiently(write_whole_file, &file)) {
    char16_t prompt[kPromptUnits];
    build_write_prompt(prompt, path);
    if (show_message(prompt, u"安装出错", kMbIconError | kMbRetryCancel) != kIdRetry)
      return false;
  }
  return true;
}

}  // namespace

FileRecords::FileRecords(ScriptCursor& cursor) : cursor_(cursor) {
  damaged_ = !read_int(cursor_, &count_);
}

bool FileRecords::next(FileRecord* r) {
  if (damaged_ || read_ >= count_) return false;
  int32_t stored = 0;
  bool sized = read_string(cursor_, &r->templ) && read_int(cursor_, &stored) &&
               (stored >= 0 || refuse(cursor_, "a file record has a negative size"));
  r->content = cursor_.pos;
  r->size = uint32_t(stored);
  damaged_ = !sized || !skip_bytes(cursor_, r->size);
  read_ += !damaged_;
  return !damaged_;
}

uint64_t files_section_bytes(ScriptCursor at) {
  at.quiet = true;
  FileRecords records(at);
  FileRecord r;
  uint64_t total = 0;
  while (records.next(&r)) total += r.size;
  return total;
}

void build_write_prompt(char16_t* out, const char16_t* path) {
  for (size_t i = 0; i < kPromptUnits; ++i) out[i] = 0;
  char16_t name[kProductNameUnits];
  product_name(name);
  size_t head = u16len(kPromptHead), tail = u16len(kPromptClose) + u16len(name) + u16len(kPromptEnd);
  static_assert(kPromptUnits > 8 + 5 + kMaxProductNameUnits + 1 + 1, "the texts and a NUL fit");
  size_t room = kPromptUnits - 1 - head - tail;
  size_t at = 0;
  append(out, &at, kPromptHead, head);
  append(out, &at, path, room);
  append(out, &at, kPromptClose, kPromptUnits);
  append(out, &at, name, kPromptUnits);
  append(out, &at, kPromptEnd, kPromptUnits);
}

int extract_files(const ProgressSink* sink) {
  ScriptCursor& cursor = script_cursor();
  Progress progress = {sink, files_section_bytes(cursor), 0, 0};
  report_progress(progress, 0);
  // The folder of the last file written: it exists, so a file beside it needs no
  // directory calls (most files of a package share their folder with the one before).
  char16_t made[kMaxPath] = {};
  FileRecords records(cursor);
  for (FileRecord r; records.next(&r);) {
    const char16_t* path = expand_variables(r.templ);
    if (path == nullptr) return refuse(cursor, kFilePathDoesNotExpand);

    char16_t parent[kMaxPath] = {};
    const char16_t* name = nullptr;
    if (split_at_last_backslash(path, parent, &name) == ParentSplit::kSplit &&
        !u16eq(parent, made))
      create_directory_tree(parent);

    if (!write_with_retry(path, r.content, r.size, progress)) return 0;
    progress.done += r.size;
    report_progress(progress, 0);
    u16copy(made, kMaxPath, parent);  // "" for a file with no folder
  }
  return records.damaged() ? 0 : 1;
}

}  // namespace tv
