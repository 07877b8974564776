// talvenor-pack try, the session with the UI driver: a Windows program of the run that
// reads one command a line on its standard input and answers with lines and "ok" or
// "error: ..."; every answer is awaited with a time limit, and a driver that does not
// answer in time is ended (its late answer would be taken for the next command's).
#include <unistd.h>

#include <chrono>

#include "common/errors.h"
#include "line_escape.h"
#include "try/driver_session.h"
#include "try/line_wait.h"
#include "try/machine_error.h"
#include "try/sandbox.h"
#include "try/signals.h"

namespace tvpack {
namespace {

using Clock = std::chrono::steady_clock;

bool starts_with(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

}  // namespace

DriverSession::DriverSession(Sandbox& sandbox, int bits, const std::string& driver_name)
    : sandbox_(sandbox), child_(sandbox.spawn_windows(bits, driver_name, {}, true)) {
  // Wine's first start in the prefix takes a few seconds; a driver that never answers
  // means Wine does not run here.
  try {
    command("sleep 0", 120);
  } catch (const DriverError& e) {
    sandbox_.end(child_);
    fail_machine("the UI driver " + driver_name + " does not run under Wine here (" + e.what() + ")");
  }
}

DriverSession::~DriverSession() { sandbox_.end(child_); }

bool DriverSession::read_line(std::string* line, int seconds) {
  LineSource out;
  out.fd = child_.out;
  out.wake_fd = SignalGuard::wake_fd();
  switch (wait_for_line(out, Clock::now() + std::chrono::seconds(seconds), &buffer_, line)) {
    case LineWait::kLine:
      return true;
    case LineWait::kSignal:
      throw Interrupted();
    case LineWait::kEnded:
      if (SignalGuard::pending()) throw Interrupted();
      throw DriverError("the UI driver ended");
    case LineWait::kDeadline:
      break;
  }
  if (SignalGuard::pending()) throw Interrupted();
  return false;
}

std::vector<std::string> DriverSession::command(const std::string& line, int seconds) {
  // One command a line (a path of the package could hold a line break).
  if (line.find_first_of("\r\n") != std::string::npos || line.size() > 4000)
    throw DriverError("a command the UI driver cannot take: " + quote(line));
  std::string text = line + "\n";
  if (write(child_.in, text.data(), text.size()) != ssize_t(text.size()))
    throw DriverError("the UI driver does not take commands");
  std::vector<std::string> lines;
  std::string got;
  for (;;) {
    if (!read_line(&got, seconds)) {
      // Its late answer would be taken for the next command's: it is ended.
      sandbox_.end(child_);
      throw DriverError("the UI driver did not answer \"" + line + "\" in time");
    }
    if (got == "ok") return lines;
    if (starts_with(got, "error: ")) throw DriverError(got.substr(7));
    lines.push_back(got);
  }
}

std::string DriverSession::value(const std::string& line) {
  std::vector<std::string> lines = command(line);
  if (lines.size() != 1) throw DriverError("unexpected answer to \"" + line + "\"");
  // The answer repeats the command's first word, and the control's id after "text".
  std::string word = line.substr(0, line.find(' '));
  size_t skip = word.size() + 1;
  if (word == "text" || word == "checked" || word == "enabled") skip = line.size() + 1;
  return skip <= lines[0].size() ? tv::unescape_line(lines[0].substr(skip)) : "";
}

}  // namespace tvpack
