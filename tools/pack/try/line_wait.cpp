// talvenor-pack try, a line awaited from a pipe with a deadline, the signal pipe and
// EINTR: the one loop that the display, the version queries and the driver share.
#include "try/line_wait.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace tvpack {
namespace {

using Clock = std::chrono::steady_clock;

// Takes a whole line (or limit bytes) off the front of buffer; false when none is there.
bool take_line(size_t limit, std::string* buffer, std::string* line) {
  size_t lf = buffer->find('\n');
  if (lf == std::string::npos || lf > limit) {
    if (buffer->size() < limit) return false;
    *line = buffer->substr(0, limit);
    buffer->erase(0, limit);
    return true;
  }
  *line = buffer->substr(0, lf);
  if (!line->empty() && line->back() == '\r') line->pop_back();
  buffer->erase(0, lf + 1);
  return true;
}

// The milliseconds until the deadline, rounded up (0: passed).
int ms_left(Clock::time_point deadline) {
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : left > 1000000 ? 1000000 : int(left);
}

}  // namespace

LineWait wait_for_line(const LineSource& source, Clock::time_point deadline, std::string* buffer, std::string* line) {
  for (;;) {
    if (take_line(source.limit, buffer, line)) return LineWait::kLine;
    int left = ms_left(deadline);
    if (left == 0) return LineWait::kDeadline;
    pollfd p[2] = {{source.fd, POLLIN, 0}, {source.wake_fd, POLLIN, 0}};
    int ready = poll(p, source.wake_fd >= 0 ? 2 : 1, left);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return LineWait::kEnded;
    if (source.wake_fd >= 0 && p[1].revents != 0) return LineWait::kSignal;
    if (p[0].revents == 0) continue;
    char buf[4096];
    ssize_t n = read(source.fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return LineWait::kEnded;
    buffer->append(buf, size_t(n));
  }
}

}  // namespace tvpack
