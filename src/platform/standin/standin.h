// Controls of the stand-in platform (namespace tv::posix, as before), for native
// tests, fuzzing and benchmarks only: the host's calls (host_calls.h), and file calls
// over a root folder with faults to inject.
// Windows paths map into a root folder: "X:\a\b" -> <root>/X/a/b, "\a" -> <root>/C/a
// (the current drive is C:), and a relative "a\b" -> <root>/cwd/a/b.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/host/host_calls.h"
#include "platform/platform.h"

namespace tv {
namespace posix {

// Sets the root folder (it must exist). Until it is set every file operation fails.
void set_root(const std::string& root);
// Host path for a Windows path, or "" when no root is set.
std::string host_path(const char16_t* windows_path);

// Drives exist as folders under the root: <root>/X is drive X:.
// The space free on drive X: (a letter in upper case); -1 (the default): the
// volume cannot be asked. The directory last asked about, "" when none was.
void set_free_space(char16_t drive, int64_t bytes);
std::u16string free_space_asked();

// The package the stand-in reports as embedded; a null blob means none.
void set_embedded_package(const uint8_t* blob, uint32_t n, uint32_t key);

// Faults: the next `count` writes (or closes) fail, as on a full disk.
void fail_next_writes(int count);
void fail_next_closes(int count);
// The n-th write from now fails (1: the next one), and only that one.
void fail_nth_write(int n);
// Writes made so far (each slice is one).
int writes_made();
// A held path: opening it for writing and moving it (or from it) fail, as with a
// file open without sharing or a directory in use.
void hold_path(const std::u16string& windows_path, bool held);
// A held path that is let go after `attempts` more attempts to open or move it
// (each failing with a sharing violation).
void hold_path_for(const std::u16string& windows_path, int attempts);
// Creating, opening for writing, moving and removing anything at or below folder fail
// with the Windows error number given, as on media that cannot be written or a folder
// the user may not write; 0 lifts it. The nearest refusal above a path is its error.
void refuse_writes_under(const std::u16string& folder, uint32_t error);
// The stand-in's clock (milliseconds()), which only pause_milliseconds() moves, and
// the pauses made.
int pauses_made();
// Clears every fault and held path, and the free space set.
void clear_faults();

}  // namespace posix
}  // namespace tv
