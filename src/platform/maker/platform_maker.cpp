// The platform the maker runs the installer's code on: it reads packages and judges
// paths, never installs, so it has no drive and every file call fails (no file is
// made, moved or removed through the installer's code). The calls that touch no file
// are the host's (platform/host/host_calls.cpp); the maker carries no package of its own.
#include "platform/platform.h"

namespace tv {

namespace {
constexpr uint32_t kNoDrive = 3;  // ERROR_PATH_NOT_FOUND: the maker has no drive
uint32_t g_clock = 0;
}  // namespace

struct OutputFile {};

bool create_directory(const char16_t*) { return false; }
bool path_exists(const char16_t*) { return false; }
bool move_path(const char16_t*, const char16_t*) { return false; }
bool remove_directory(const char16_t*) { return false; }
uint32_t last_error() { return kNoDrive; }

// A clock that only pauses move, as the stand-in's.
uint32_t milliseconds() { return g_clock; }
void pause_milliseconds(unsigned ms) { g_clock += ms; }

bool final_path(const char16_t*, char16_t*) { return false; }

OutputFile* open_for_write(const char16_t*) { return nullptr; }
bool write_file(OutputFile*, const void*, size_t) { return false; }
bool close_file(OutputFile* file) {
  delete file;
  return false;
}

bool drive_exists(char16_t) { return false; }
bool free_space(const char16_t*, uint64_t*) { return false; }
bool save_shortcut(const char16_t*, const char16_t*, const char16_t*, int) { return false; }
bool embedded_package(const uint8_t**, uint32_t*, uint32_t*) { return false; }

}  // namespace tv
