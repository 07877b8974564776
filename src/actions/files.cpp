#include "actions/files.h"

#include <cstdint>

#include "actions/directories.h"
#include "actions/product_names.h"
#include "actions/quiet_retry.h"
#include "package/script.h"
#include "base/bytes.h"
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

bool damaged(const char* reason) {
  report_damaged_package(reason);
  return false;
}

}  // namespace

uint64_t files_section_bytes(const uint8_t* at, const uint8_t* end) {
  if (end - at < 4) return 0;
  int32_t count = int32_t(le32(at));
  at += 4;
  uint64_t total = 0;
  for (int32_t i = 0; i < count; ++i) {
    for (;;) {  // the path, up to and past its NUL unit
      if (end - at < 2) return total;
      at += 2;
      if (at[-2] == 0 && at[-1] == 0) break;
    }
    if (end - at < 4) return total;
    int32_t size = int32_t(le32(at));
    at += 4;
    if (size < 0 || end - at < size) return total;
    at += size;
    total += uint32_t(size);
  }
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

bool read_file_record(ScriptCursor& cursor, char16_t** templ, uint32_t* size, const uint8_t** content) {
  int32_t stored = 0;
  if (!read_string(cursor, templ) || !read_int(cursor, &stored)) return false;
  if (stored < 0) return damaged("a file record has a negative size");
  *content = cursor.pos;
  *size = uint32_t(stored);
  return skip_bytes(cursor, *size);
}

int extract_files(const ProgressSink* sink) {
  ScriptCursor& cursor = script_cursor();
  Progress progress = {sink, files_section_bytes(cursor.pos, cursor.end), 0, 0};
  report_progress(progress, 0);
  // The folder of the last file written: it exists, so a file beside it needs no
  // directory calls (most files of a package share their folder with the one before).
  char16_t made[kMaxPath] = {};
  int32_t count = 0;
  if (!read_int(cursor, &count)) return 0;
  for (int32_t i = 0; i < count; ++i) {
    char16_t* templ = nullptr;
    uint32_t size = 0;
    const uint8_t* content = nullptr;
    if (!read_file_record(cursor, &templ, &size, &content)) return 0;

    const char16_t* path = expand_variables(templ);
    if (path == nullptr) return damaged("a file path does not expand");

    char16_t parent[kMaxPath] = {};
    const char16_t* name = nullptr;
    if (split_at_last_backslash(path, parent, &name) == ParentSplit::kSplit &&
        !u16eq(parent, made))
      create_directory_tree(parent);

    if (!write_with_retry(path, content, size, progress)) return 0;
    progress.done += size;
    report_progress(progress, 0);
    u16copy(made, kMaxPath, parent);  // "" for a file with no folder
  }
  return 1;
}

}  // namespace tv
