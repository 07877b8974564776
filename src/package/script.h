// The install script stream: the process-wide script, its cursor and the saved
// cursor, the bounds-checked reading primitives and the header check.
//
// Every read from the script goes through a ScriptCursor, which knows where the
// script ends. A read that would run past the end reports a damaged package
// ("安装文件已损坏!" / "安装失败") once and fails; the section readers then stop.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tv {

struct ScriptCursor {
  uint8_t* pos = nullptr;
  uint8_t* end = nullptr;
  bool quiet = false;  // a read past the end fails without reporting anything
};

// Adopts a script buffer of length bytes, from malloc (owned for the rest of the process).
void set_script(uint8_t* start, uint32_t length);
// Frees the script buffer and forgets it. Only for tools, tests and fuzzing that load
// more than one package, once nothing refers into the script any more.
void free_script();
uint8_t* script_start();
uint32_t script_length();

// The shared forward read position, and the start of the variables section.
ScriptCursor& script_cursor();
ScriptCursor& saved_cursor();
// script cursor := script start.
void rewind_script_cursor();

// Reading primitives; each fails (and reports the damaged package) instead of
// reading past the end of the script.
bool read_int(ScriptCursor& c, int32_t* value);
// The string at the cursor, used in place; the cursor moves past its NUL unit.
bool read_string(ScriptCursor& c, char16_t** text);
bool skip_bytes(ScriptCursor& c, uint32_t count);
// Reads the string at the cursor without moving it.
bool peek_string(const ScriptCursor& c, char16_t** text);
// A damaged package found through c: reported (report_damaged_package) unless c reads
// quietly. Returns false.
bool refuse(const ScriptCursor& c, const char* reason);

// Records why the package is damaged (see damage_reason) and shows
// "安装文件已损坏!" / "安装失败" with an error icon.
void report_damaged_package(const char* reason);
// What the last damaged-package report was about, for tools and tests ("" if none).
const char* damage_reason();
void set_damage_reason(const char* reason);
void clear_damage_reason();

// Reads the format version at the script cursor (+4); 1 when it is at most 1,
// else shows "安装程序版本好错误!" / "安装失败" and returns 0.
int check_script_version();

}  // namespace tv
