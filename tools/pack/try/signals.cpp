// talvenor-pack try, Ctrl+C: SIGINT, SIGTERM and SIGHUP caught while a run is on, so
// that everything it started is ended first, then raised again.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include "try/signals.h"

namespace tvpack {
namespace {

volatile sig_atomic_t g_signal = 0;
int g_wake[2] = {-1, -1};
struct sigaction g_old[3];

void on_signal(int sig) {
  g_signal = sig;
  if (g_wake[1] >= 0) {
    ssize_t ignored = write(g_wake[1], "x", 1);
    (void)ignored;
  }
}

}  // namespace

SignalGuard::SignalGuard() {
  g_signal = 0;
  if (pipe2(g_wake, O_CLOEXEC | O_NONBLOCK) != 0) g_wake[0] = g_wake[1] = -1;
  struct sigaction sa = {};
  sa.sa_handler = on_signal;
  sigemptyset(&sa.sa_mask);
  for (int i = 0; i < 3; ++i) sigaction(kStopSignals[i], &sa, &g_old[i]);
}

SignalGuard::~SignalGuard() {
  for (int i = 0; i < 3; ++i) sigaction(kStopSignals[i], &g_old[i], nullptr);
  for (int& fd : g_wake) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

bool SignalGuard::pending() { return g_signal != 0; }
int SignalGuard::wake_fd() { return g_wake[0]; }
void SignalGuard::raise_pending() {
  int sig = g_signal;
  if (sig == 0) return;
  signal(sig, SIG_DFL);
  raise(sig);
}

void nap(int ms) {
  pollfd p = {SignalGuard::wake_fd(), POLLIN, 0};
  poll(&p, p.fd >= 0 ? 1 : 0, ms);
  if (SignalGuard::pending()) throw Interrupted();
}

}  // namespace tvpack
