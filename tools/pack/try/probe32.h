// talvenor-pack try, the 32-bit probe: whether this kernel runs 32-bit x86 programs.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

namespace tvpack {

struct Probe32 {
  int runs = -1;    // 1 it runs them, 0 it does not, -1 cannot tell
  std::string why;  // for -1: why not
};

// A tiny static 32-bit ELF written to the first of folders that is on a file system
// that allows programs to run (not mounted noexec) and takes a new file, run there and
// removed at once.
Probe32 probe_32bit(const std::vector<std::filesystem::path>& folders);

// The folders the probe tries: XDG_RUNTIME_DIR, TMPDIR, /tmp, /var/tmp, /dev/shm, HOME
// (those of the environment that are set).
std::vector<std::filesystem::path> probe_folders();

// probe_32bit(probe_folders()).runs == 1.
bool kernel_runs_32bit();

}  // namespace tvpack
