// talvenor-pack try, Ctrl+C: the signals that stop a run, caught for its lifetime so
// that everything it started is ended first, then raised again.
#pragma once
#include <signal.h>

#include <stdexcept>

namespace tvpack {

// Ctrl+C or SIGTERM arrived; everything is ended on the way out, then the signal is raised.
class Interrupted : public std::runtime_error {
 public:
  Interrupted() : std::runtime_error("interrupted") {}
};

// The signals that stop a run.
constexpr int kStopSignals[3] = {SIGINT, SIGTERM, SIGHUP};

// Installs the handlers for SIGINT, SIGTERM and SIGHUP for its lifetime. raise_pending()
// re-raises a signal that arrived, with its default action.
class SignalGuard {
 public:
  SignalGuard();
  ~SignalGuard();
  static bool pending();
  static int wake_fd();  // readable once a signal arrived
  static void raise_pending();
};

// Sleeps up to ms, waking early for a signal (then throws Interrupted).
void nap(int ms);

}  // namespace tvpack
