#include "package/script.h"

#include <cstdlib>
#include <cstring>

#include "base/bytes.h"
#include "platform/platform.h"

namespace tv {
namespace {

struct ScriptState {
  uint8_t* start = nullptr;
  uint32_t length = 0;
  ScriptCursor cursor;
  ScriptCursor saved;
  const char* reason = "";
};

ScriptState g_script;

// A read of `count` bytes at the cursor stays inside the script.
bool fits(const ScriptCursor& c, size_t count, const char* what) {
  if (c.pos != nullptr && c.pos <= c.end && size_t(c.end - c.pos) >= count) return true;
  return refuse(c, what);
}

}  // namespace

void set_script(uint8_t* start, uint32_t length) {
  g_script.start = start;
  g_script.length = length;
  g_script.cursor = ScriptCursor{start, start + length};
  g_script.saved = g_script.cursor;
}

void free_script() {
  std::free(g_script.start);
  set_script(nullptr, 0);
}

uint8_t* script_start() { return g_script.start; }
uint32_t script_length() { return g_script.length; }
ScriptCursor& script_cursor() { return g_script.cursor; }
ScriptCursor& saved_cursor() { return g_script.saved; }

void rewind_script_cursor() {
  g_script.cursor = ScriptCursor{g_script.start, g_script.start + g_script.length};
}

bool read_int(ScriptCursor& c, int32_t* value) {
  if (!fits(c, 4, "an integer runs past the end of the install script")) return false;
  *value = int32_t(le32(c.pos));
  c.pos += 4;
  return true;
}

// The number of units before the NUL of the string at the cursor, scanning 16-bit
// units from the string's own start; fails when no NUL comes before the end.
static bool string_units(const ScriptCursor& c, size_t* units) {
  if (!fits(c, 2, "a string runs past the end of the install script")) return false;
  const uint8_t* p = c.pos;
  size_t avail = size_t(c.end - p) / 2;
  for (size_t i = 0; i < avail; ++i) {
    if (p[2 * i] == 0 && p[2 * i + 1] == 0) {
      *units = i;
      return true;
    }
  }
  return refuse(c, "a string is not terminated before the end of the install script");
}

bool peek_string(const ScriptCursor& c, char16_t** text) {
  size_t units;
  if (!string_units(c, &units)) return false;
  *text = reinterpret_cast<char16_t*>(c.pos);
  return true;
}

bool read_string(ScriptCursor& c, char16_t** text) {
  size_t units;
  if (!string_units(c, &units)) return false;
  *text = reinterpret_cast<char16_t*>(c.pos);
  c.pos += 2 * (units + 1);
  return true;
}

bool skip_bytes(ScriptCursor& c, uint32_t count) {
  if (!fits(c, count, "file content runs past the end of the install script")) return false;
  c.pos += count;
  return true;
}

bool refuse(const ScriptCursor& c, const char* reason) {
  if (!c.quiet) report_damaged_package(reason);
  return false;
}

void report_damaged_package(const char* reason) {
  set_damage_reason(reason);
  show_message(u"安装文件已损坏!", u"安装失败", kMbOk | kMbIconError);
}

const char* damage_reason() { return g_script.reason; }
void set_damage_reason(const char* reason) { g_script.reason = reason; }
void clear_damage_reason() { g_script.reason = ""; }

int check_script_version() {
  int32_t version = 0;
  if (!read_int(script_cursor(), &version)) return 0;
  if (version <= 1) return 1;
  set_damage_reason("the format version is newer than this installer reads");
  show_message(u"安装程序版本好错误!", u"安装失败", kMbOk | kMbIconError);
  return 0;
}

}  // namespace tv
