// talvenor-pack try, the 32-bit probe: a tiny static 32-bit ELF written to a folder whose
// file system lets programs run, run and removed at once; whether it ran tells whether
// this kernel runs 32-bit programs.
#include <spawn.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

#include "try/probe32.h"

extern char** environ;

namespace fs = std::filesystem;

namespace tvpack {
namespace {

// An ELF32 header, one program header, and: mov eax,1; xor ebx,ebx; int 0x80 (exit 0).
const unsigned char kProbe[] = {
    0x7f, 'E',  'L',  'F',  1,    1,    1,    0,    0,    0,    0,    0,    0,    0,    0,    0,
    2,    0,    3,    0,    1,    0,    0,    0,    0x54, 0x80, 0x04, 0x08, 0x34, 0,    0,    0,
    0,    0,    0,    0,    0,    0,    0,    0,    0x34, 0,    0x20, 0,    1,    0,    0,    0,
    0,    0,    0,    0,    1,    0,    0,    0,    0,    0,    0,    0,    0,    0x80, 0x04, 0x08,
    0,    0x80, 0x04, 0x08, 0x60, 0,    0,    0,    0x60, 0,    0,    0,    5,    0,    0,    0,
    0,    0x10, 0,    0,    0xb8, 1,    0,    0,    0,    0x31, 0xdb, 0xcd, 0x80};

// Runs the probe written at path: whether it exited with 0.
bool run_probe(const char* path) {
  int status = -1;
  pid_t pid = -1;
  char* argv[] = {const_cast<char*>(path), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  if (posix_spawn(&pid, path, &actions, nullptr, argv, environ) == 0) waitpid(pid, &status, 0);
  posix_spawn_file_actions_destroy(&actions);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

Probe32 probe_32bit(const std::vector<fs::path>& folders) {
  std::string tried;
  for (const fs::path& folder : folders) {
    tried += (tried.empty() ? "" : ", ") + folder.string();
    struct statvfs vfs;
    if (statvfs(folder.c_str(), &vfs) != 0 || (vfs.f_flag & ST_NOEXEC) != 0) continue;
    std::string path = (folder / "talvenor-probe-XXXXXX").string();
    int fd = mkstemp(&path[0]);
    if (fd < 0) continue;
    bool written = write(fd, kProbe, sizeof kProbe) == ssize_t(sizeof kProbe) && fchmod(fd, 0700) == 0;
    close(fd);
    bool ran = written && run_probe(path.c_str());
    unlink(path.c_str());
    if (written) return {ran ? 1 : 0, ""};
  }
  return {-1, "no folder to run the 32-bit probe from: none of " + (tried.empty() ? "(none)" : tried) +
                  " takes a new file on a file system that lets programs run (not mounted noexec)"};
}

std::vector<fs::path> probe_folders() {
  std::vector<fs::path> folders;
  for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
    const char* v = std::getenv(name);
    if (v != nullptr && *v != 0) folders.emplace_back(v);
  }
  for (const char* dir : {"/tmp", "/var/tmp", "/dev/shm"}) folders.emplace_back(dir);
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != 0) folders.emplace_back(home);
  return folders;
}

bool kernel_runs_32bit() { return probe_32bit(probe_folders()).runs == 1; }

}  // namespace tvpack
