// talvenor-pack try, a line awaited from a pipe (a child's output): read until a line
// feed arrives, the deadline passes, the signal pipe wakes or the pipe ends; a call
// that a signal interrupts (EINTR) is made again.
#pragma once
#include <chrono>
#include <cstddef>
#include <string>

namespace tvpack {

enum class LineWait {
  kLine,      // *line holds it
  kDeadline,  // the deadline passed first
  kSignal,    // the signal pipe is readable (a signal arrived)
  kEnded,     // the pipe ended (its writers gone) or failed; what came is in the buffer
};

struct LineSource {
  int fd = -1;                 // the pipe read
  int wake_fd = -1;            // readable once a signal arrived (SignalGuard::wake_fd()); -1: none
  size_t limit = 1u << 20;     // a line ends after this many bytes without a line feed
};

// Waits for a line of source.fd. *buffer holds what was read and not yet taken (the
// rest of the call before, which is looked at first). kLine: *line is the text before
// the first line feed, a CR before it dropped, taken from *buffer with its line feed
// (or the first limit bytes, when no line feed comes within them). The signal pipe is
// never read: once readable it stays so.
LineWait wait_for_line(const LineSource& source, std::chrono::steady_clock::time_point deadline, std::string* buffer,
                       std::string* line);

}  // namespace tvpack
