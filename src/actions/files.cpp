#include "actions/files.h"

#include <cstdint>

#include "actions/directories.h"
#include "package/script.h"
#include "platform/platform.h"
#include "platform/text16.h"
#include "variables/expand.h"

namespace tv {
namespace {

constexpr const char16_t* kPromptHead = u"无法写入文件: ";
constexpr const char16_t* kPromptTail = u"\n请先关闭Talvenor！";

// Appends up to `limit` units of text at out[*at].
void append(char16_t* out, size_t* at, const char16_t* text, size_t limit) {
  for (size_t i = 0; i < limit; ++i) {
    char16_t c = unit_at(text, i);
    if (c == 0) break;
    out[(*at)++] = c;
  }
}

// One attempt: open "wb", write the content in one call, close.
bool write_whole_file(const char16_t* path, const uint8_t* content, uint32_t size) {
  OutputFile* file = open_for_write(path);
  if (file == nullptr) return false;
  bool written = size == 0 || write_file(file, content, size);
  bool closed = close_file(file);
  return written && closed;
}

// Writes the file, asking whether to retry after each failure. False on Cancel.
bool write_with_retry(const char16_t* path, const uint8_t* content, uint32_t size) {
  while (!write_whole_file(path, content, size)) {
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

void build_write_prompt(char16_t* out, const char16_t* path) {
  for (size_t i = 0; i < kPromptUnits; ++i) out[i] = 0;
  size_t head = u16len(kPromptHead), tail = u16len(kPromptTail);
  size_t room = kPromptUnits - 1 - head - tail;
  size_t at = 0;
  append(out, &at, kPromptHead, head);
  append(out, &at, path, room);
  append(out, &at, kPromptTail, tail);
}

bool read_file_record(ScriptCursor& cursor, char16_t** templ, uint32_t* size, const uint8_t** content) {
  int32_t stored = 0;
  if (!read_string(cursor, templ) || !read_int(cursor, &stored)) return false;
  if (stored < 0) return damaged("a file record has a negative size");
  *content = cursor.pos;
  *size = uint32_t(stored);
  return skip_bytes(cursor, *size);
}

int extract_files() {
  ScriptCursor& cursor = script_cursor();
  int32_t count = 0;
  if (!read_int(cursor, &count)) return 0;
  for (int32_t i = 0; i < count; ++i) {
    char16_t* templ = nullptr;
    uint32_t size = 0;
    const uint8_t* content = nullptr;
    if (!read_file_record(cursor, &templ, &size, &content)) return 0;

    const char16_t* path = expand_variables(templ);
    if (path == nullptr) {
      damaged("a file path does not expand");
      return 0;
    }

    char16_t parent[kMaxPath] = {};
    const char16_t* name = nullptr;
    if (split_at_last_backslash(path, parent, &name) == ParentSplit::kSplit)
      create_directory_tree(parent);

    if (!write_with_retry(path, content, size)) return 0;
  }
  return 1;
}

}  // namespace tv
