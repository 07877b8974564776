// try's one wait for a line, over real pipes: a line that is there or arrives, the
// pipe's end, the deadline, a byte on the signal pipe, and a signal that interrupts
// the wait (EINTR) while the line is still to come.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "try/line_wait.h"

namespace {

using tvpack::LineSource;
using tvpack::LineWait;
using Clock = std::chrono::steady_clock;

// A pipe, both ends closed at the end of the scope unless closed before.
struct Pipe {
  int fd[2] = {-1, -1};
  Pipe() { EXPECT_EQ(pipe2(fd, O_CLOEXEC), 0); }
  ~Pipe() {
    close_write();
    if (fd[0] >= 0) close(fd[0]);
  }
  void write_all(const std::string& text) const {
    EXPECT_EQ(write(fd[1], text.data(), text.size()), ssize_t(text.size()));
  }
  void close_write() {
    if (fd[1] >= 0) close(fd[1]);
    fd[1] = -1;
  }
};

// A generous deadline: no case here waits for it unless it is about the deadline.
Clock::time_point generous() { return Clock::now() + std::chrono::seconds(60); }

TEST(LineWait, EveryWayAWaitEnds) {
  const struct {
    const char* what;
    std::string left;     // in the buffer from the call before
    std::string written;  // in the pipe before the wait
    bool ended;           // the pipe's writer gone
    bool signal;          // a byte on the signal pipe
    size_t limit;
    LineWait want;
    std::string line, rest;  // *line (kLine), and the buffer after
  } kCases[] = {
      {"a line", "", "abc\n", false, false, 64, LineWait::kLine, "abc", ""},
      {"a line ended by CR LF", "", "abc\r\n", false, false, 64, LineWait::kLine, "abc", ""},
      {"an empty line", "", "\n", false, false, 64, LineWait::kLine, "", ""},
      {"the first of two lines", "", "one\ntwo\n", false, false, 64, LineWait::kLine, "one", "two\n"},
      {"a line begun by the call before", "ab", "c\nd", false, false, 64, LineWait::kLine, "abc", "d"},
      {"a line left by the call before", "old\n", "new\n", false, false, 64, LineWait::kLine, "old", ""},
      {"a line already there before a signal", "old\n", "", false, true, 64, LineWait::kLine, "old", ""},
      {"a CR alone is no line end", "", "a\rb\n", false, false, 64, LineWait::kLine, "a\rb", ""},
      {"a line longer than the limit", "", "abcdefgh\n", false, false, 4, LineWait::kLine, "abcd", "efgh\n"},
      {"a line of the limit's length", "", "abcd\nx", false, false, 4, LineWait::kLine, "abcd", "x"},
      {"the limit without a line feed", "", "abcd", false, false, 4, LineWait::kLine, "abcd", ""},
      {"the pipe ends without a line feed", "", "abc", true, false, 64, LineWait::kEnded, "", "abc"},
      {"the pipe ends at once", "", "", true, false, 64, LineWait::kEnded, "", ""},
      {"a signal before the line", "", "abc", false, true, 64, LineWait::kSignal, "", ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    Pipe out, wake;
    out.write_all(c.written);
    if (c.ended) out.close_write();
    if (c.signal) wake.write_all("x");
    LineSource source;
    source.fd = out.fd[0];
    source.wake_fd = wake.fd[0];
    source.limit = c.limit;
    std::string buffer = c.left, line = "untouched";
    EXPECT_EQ(wait_for_line(source, generous(), &buffer, &line), c.want);
    if (c.want == LineWait::kLine) EXPECT_EQ(line, c.line);
    // What was not taken stays for the next call (the pipe may still hold more).
    if (c.want != LineWait::kSignal) EXPECT_EQ(buffer, c.rest);
  }
}

TEST(LineWait, TheDeadlinePassesWithoutALine) {
  Pipe out;
  out.write_all("no line feed");
  LineSource source;
  source.fd = out.fd[0];  // no signal pipe
  std::string buffer, line;
  EXPECT_EQ(wait_for_line(source, Clock::now() + std::chrono::milliseconds(50), &buffer, &line), LineWait::kDeadline);
  EXPECT_EQ(buffer, "no line feed");
  // A deadline that has passed ends the wait before it reads.
  out.write_all("\n");
  EXPECT_EQ(wait_for_line(source, Clock::now() - std::chrono::seconds(1), &buffer, &line), LineWait::kDeadline);
}

TEST(LineWait, ALineThatArrivesLaterAndASignalByteThatDoes) {
  for (bool signal : {false, true}) {
    SCOPED_TRACE(signal ? "a signal byte" : "a line");
    Pipe out, wake;
    std::thread writer([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      (signal ? wake : out).write_all(signal ? "x" : "late\n");
    });
    LineSource source;
    source.fd = out.fd[0];
    source.wake_fd = wake.fd[0];
    std::string buffer, line;
    EXPECT_EQ(wait_for_line(source, generous(), &buffer, &line), signal ? LineWait::kSignal : LineWait::kLine);
    writer.join();
    if (!signal) EXPECT_EQ(line, "late");
  }
}

int g_line_fd = -1;
volatile sig_atomic_t g_handled = 0;

// Writes the awaited line from the handler itself: a wait that took the interrupted
// call for an end (or a signal) would miss it.
void write_line(int) {
  g_handled = 1;
  ssize_t ignored = write(g_line_fd, "after EINTR\n", 12);
  (void)ignored;
}

TEST(LineWait, ACallThatASignalInterruptsIsMadeAgain) {
  Pipe out, wake;
  g_line_fd = out.fd[1];
  g_handled = 0;
  struct sigaction sa = {}, old;
  sa.sa_handler = write_line;  // no SA_RESTART: poll returns EINTR
  sigemptyset(&sa.sa_mask);
  ASSERT_EQ(sigaction(SIGUSR1, &sa, &old), 0);
  pthread_t waiting = pthread_self();
  std::thread interrupter([waiting] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // most likely inside poll by then
    pthread_kill(waiting, SIGUSR1);
  });
  LineSource source;
  source.fd = out.fd[0];
  source.wake_fd = wake.fd[0];
  std::string buffer, line;
  LineWait got = wait_for_line(source, generous(), &buffer, &line);
  interrupter.join();
  sigaction(SIGUSR1, &old, nullptr);
  EXPECT_EQ(got, LineWait::kLine);
  EXPECT_EQ(line, "after EINTR");
  EXPECT_EQ(g_handled, 1);
}

}  // namespace
