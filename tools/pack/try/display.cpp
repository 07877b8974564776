// talvenor-pack try, the virtual display: Xvfb started in a group of its own, on the
// free display number it picks itself and writes to an inherited descriptor.
#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <stdexcept>

#include "try/display.h"
#include "try/line_wait.h"
#include "try/machine_error.h"
#include "try/signals.h"

extern char** environ;

namespace tvpack {

Child start_virtual_display(std::string* display) {
  Child xvfb;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("cannot make a pipe");
  // Xvfb picks a free display itself and writes its number to the inherited descriptor.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, 0);
  std::string xvfb_path = on_path("Xvfb").string();
  const char* argv[] = {xvfb_path.c_str(), "-displayfd", "3", "-screen", "0", "1024x768x24", "-nolisten", "tcp", nullptr};
  int rc = posix_spawn(&xvfb.pid, argv[0], &actions, &attr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    xvfb.pid = -1;
    fail_machine("Xvfb cannot be started: " + std::string(std::strerror(rc)));
  }
  std::string buffer, number;
  LineSource xvfb_out;
  xvfb_out.fd = fds[0];
  xvfb_out.wake_fd = SignalGuard::wake_fd();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  LineWait got = wait_for_line(xvfb_out, deadline, &buffer, &number);
  close(fds[0]);
  if (got == LineWait::kSignal || SignalGuard::pending()) throw Interrupted();
  if (got != LineWait::kLine) fail_machine("Xvfb did not start a display in 20 s");
  *display = ":" + number;
  return xvfb;
}

}  // namespace tvpack
