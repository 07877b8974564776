// talvenor-pack try, the 32-bit probe: a tiny static 32-bit ELF written to /tmp, run
// and removed at once; whether it ran tells whether this kernel runs 32-bit programs.
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

#include "try/probe32.h"

extern char** environ;

namespace tvpack {

bool kernel_runs_32bit() {
  // An ELF32 header, one program header, and: mov eax,1; xor ebx,ebx; int 0x80 (exit 0).
  static const unsigned char probe[] = {
      0x7f, 'E',  'L',  'F',  1,    1,    1,    0,    0,    0,    0,    0,    0,    0,    0,    0,
      2,    0,    3,    0,    1,    0,    0,    0,    0x54, 0x80, 0x04, 0x08, 0x34, 0,    0,    0,
      0,    0,    0,    0,    0,    0,    0,    0,    0x34, 0,    0x20, 0,    1,    0,    0,    0,
      0,    0,    0,    0,    1,    0,    0,    0,    0,    0,    0,    0,    0,    0x80, 0x04, 0x08,
      0,    0x80, 0x04, 0x08, 0x60, 0,    0,    0,    0x60, 0,    0,    0,    5,    0,    0,    0,
      0,    0x10, 0,    0,    0xb8, 1,    0,    0,    0,    0x31, 0xdb, 0xcd, 0x80};
  char path[] = "/tmp/talvenor-probe-XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) return false;
  bool written = write(fd, probe, sizeof probe) == ssize_t(sizeof probe);
  fchmod(fd, 0700);
  close(fd);
  int status = -1;
  if (written) {
    pid_t pid = -1;
    char* argv[] = {path, nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&pid, path, &actions, nullptr, argv, environ) == 0) waitpid(pid, &status, 0);
    posix_spawn_file_actions_destroy(&actions);
  }
  unlink(path);
  return written && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace tvpack
