// talvenor-pack try, the dialogs: a session with the UI driver (one command a line,
// answered by lines and "ok" or "error: ..."), and the steps a user takes: wait for the
// install dialog, type a folder, press 一键安装, wait for the finish dialog, untick or
// keep its boxes, press 完成. A message box at any step ends the run and is answered
// (the retry prompt with 取消). Every wait has a time limit.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>

#include "common/errors.h"
#include "line_escape.h"
#include "base/text16.h"
#include "try/try_internal.h"

namespace fs = std::filesystem;

namespace tvpack {
namespace {

using Clock = std::chrono::steady_clock;

bool starts_with(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// "key=value" fields of the driver's answer lines that start with word.
std::string field(const std::vector<std::string>& lines, const std::string& word, const std::string& key) {
  for (const std::string& l : lines) {
    std::string lead = word + " " + key + "=";
    if (starts_with(l, lead)) return tv::unescape_line(l.substr(lead.size()));
  }
  return "";
}

int number_after(const std::string& line, const std::string& key) {
  size_t at = line.find(key + "=");
  return at == std::string::npos ? 0 : std::atoi(line.c_str() + at + key.size() + 1);
}

// The message box on screen: its texts, a screenshot, then the answer a user gives to
// end the run: 取消 where the box has it (the retry prompt), else its one button.
void record_box(DriverSession& driver, Sandbox& sandbox, const fs::path& shots, TryRun* run) {
  std::vector<std::string> lines = driver.command("message");
  Box box;
  box.caption = field(lines, "message", "caption");
  box.text = field(lines, "message", "text");
  std::string buttons = field(lines, "message", "buttons");
  take_shot(driver, sandbox, shots, "message", run);
  bool has_cancel = ("," + buttons + ",").find(",2,") != std::string::npos;
  std::string id = has_cancel ? "2" : buttons.substr(0, buttons.find(','));
  try {
    box.answer = driver.value("text " + id);
    driver.command("click " + id);
  } catch (const DriverError&) {
    box.answer = "(not answered)";
  }
  run->boxes.push_back(box);
  run->stopped = "the installer showed a message box";
  try {
    run->exit_code = number_after(driver.command("wait exit 10", 20).at(0), "code");
  } catch (const std::exception&) {
  }
}

double since(const TryRun& run) {
  return std::chrono::duration<double>(Clock::now() - run.began).count();
}

// Waits up to seconds for the dialog of kind; a message box instead ends the run.
bool wait_for_dialog(DriverSession& driver, Sandbox& sandbox, const fs::path& shots, const std::string& kind,
                     int seconds, TryRun* run) {
  auto deadline = Clock::now() + std::chrono::seconds(seconds);
  do {
    try {
      driver.command("wait " + kind + " 1", 30);
      return true;
    } catch (const DriverError& e) {
      std::string why = e.what();
      if (why.find("ended before") != std::string::npos) {
        run->stopped = "the installer ended without showing its " + kind + " dialog";
        try {
          run->exit_code = number_after(driver.command("wait exit 5").at(0), "code");
        } catch (const std::exception&) {
        }
        return false;
      }
      if (why.find("no " + kind + " dialog appeared") == std::string::npos) throw;
    }
    try {
      driver.command("wait message 0");
      record_box(driver, sandbox, shots, run);
      return false;
    } catch (const DriverError&) {
    }
  } while (Clock::now() < deadline);
  run->stopped = "no " + kind + " dialog within " + std::to_string(seconds) + " s: the installer hangs";
  take_shot(driver, sandbox, shots, "hang", run);
  return false;
}

}  // namespace

DriverSession::DriverSession(Sandbox& sandbox, int bits, const std::string& driver_name)
    : sandbox_(sandbox), child_(sandbox.spawn_windows(bits, driver_name, {}, true)) {
  // Wine's first start in the prefix takes a few seconds; a driver that never answers
  // means Wine does not run here.
  try {
    command("sleep 0", 120);
  } catch (const DriverError& e) {
    sandbox_.end(child_);
    throw MachineError("the UI driver " + driver_name + " does not run under Wine here (" + e.what() + ")");
  }
}

DriverSession::~DriverSession() { sandbox_.end(child_); }

bool DriverSession::read_line(std::string* line, int seconds) {
  auto deadline = Clock::now() + std::chrono::seconds(seconds);
  for (;;) {
    size_t lf = buffer_.find('\n');
    if (lf != std::string::npos) {
      *line = buffer_.substr(0, lf);
      if (!line->empty() && line->back() == '\r') line->pop_back();
      buffer_.erase(0, lf + 1);
      return true;
    }
    int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
    if (left <= 0) return false;
    pollfd p[2] = {{child_.out, POLLIN, 0}, {SignalGuard::wake_fd(), POLLIN, 0}};
    poll(p, p[1].fd >= 0 ? 2 : 1, left);
    if (SignalGuard::pending()) throw Interrupted();
    if (p[0].revents == 0) continue;
    char buf[4096];
    ssize_t n = read(child_.out, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw DriverError("the UI driver ended");
    buffer_.append(buf, size_t(n));
  }
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

void take_shot(DriverSession& driver, Sandbox& sandbox, const fs::path& dir, const std::string& name, TryRun* run) {
  if (dir.empty()) return;
  char number[8];
  std::snprintf(number, sizeof number, "%02zu", run->shots.size() + 1);
  std::string file = std::string(number) + "-" + name + ".png";
  fs::path taken = sandbox.drive_t() / file;
  try {
    fs::remove(taken);
    std::string answer = driver.command("shot T:\\" + file).at(0);
    Shot shot{name, show_path(dir / file), number_after(answer, "width"), number_after(answer, "height")};
    // Drive T: is the installer's to write too: a link put there is not followed.
    if (!fs::is_regular_file(fs::symlink_status(taken))) return;
    fs::copy_file(taken, dir / file, fs::copy_options::overwrite_existing);
    run->shots.push_back(shot);
  } catch (const std::exception&) {
    // A screenshot that cannot be taken is not the installer's fault.
  }
}

void read_shell_folders(DriverSession& driver, TryRun* run) {
  for (int csidl : {26, 11, 2, 23, 0}) {
    try {
      run->shell_folders[csidl] = tv::utf8_to_u16(driver.value("folder " + std::to_string(csidl)));
    } catch (const DriverError&) {
      run->shell_folders[csidl] = u"";
    }
  }
}

bool reach_install_dialog(DriverSession& driver, Sandbox& sandbox, const fs::path& shots,
                          const std::string& installer, int seconds, TryRun* run) {
  run->installer_pid = number_after(driver.command("start T:\\" + installer).at(0), "pid");
  if (!wait_for_dialog(driver, sandbox, shots, "install", seconds, run)) return false;
  run->to_install = since(*run);
  run->install_dialog = true;
  run->caption = driver.value("caption");
  run->description = driver.value("text 1002");
  run->offered = driver.value("text 1006");
  find_cut_texts(driver.command("fit"), "install", &run->cut);
  return true;
}

bool reach_finish_dialog(DriverSession& driver, Sandbox& sandbox, const fs::path& shots, const std::string& folder,
                         int seconds, TryRun* run) {
  if (!folder.empty()) {
    driver.command("type 1006 " + folder);
    run->typed = driver.value("text 1006");
  }
  take_shot(driver, sandbox, shots, "install", run);
  driver.command("click 1001");
  if (!wait_for_dialog(driver, sandbox, shots, "finish", seconds, run)) return false;
  run->to_finish = since(*run);
  run->finish_dialog = true;
  run->finish_text = driver.value("text 1002");
  run->launch_text = driver.value("text 1004");
  run->help_text = driver.value("text 1005");
  run->launch_ticked = driver.value("checked 1004") == "1";
  run->help_ticked = driver.value("checked 1005") == "1";
  find_cut_texts(driver.command("fit"), "finish", &run->cut);
  take_shot(driver, sandbox, shots, "finish", run);
  return true;
}

void answer_finish_dialog(DriverSession& driver, bool run_programs, TryRun* run) {
  if (!run_programs) {
    driver.command("check 1004 0");
    driver.command("check 1005 0");
    driver.command("click 1");
    try {
      run->exit_code = number_after(driver.command("wait exit 30", 40).at(0), "code");
    } catch (const DriverError&) {
      run->stopped = "the installer did not end within 30 s of 完成";
    }
    return;
  }
  // What the finish button starts are the installer's children; a document's viewer
  // may come and go quickly, so the processes are looked at every quarter second
  // until 3 s after the installer ended.
  driver.command("click 1");
  std::map<int, StartedProcess> seen;
  auto deadline = Clock::now() + std::chrono::seconds(30);
  Clock::time_point ended;
  for (;;) {
    for (const std::string& line : driver.command("processes")) {
      int pid = number_after(line, "pid");
      size_t image = line.find(" image="), cmdline = line.find(" cmdline=");
      if (number_after(line, "parent") != run->installer_pid || seen.count(pid) != 0 || image == std::string::npos ||
          cmdline == std::string::npos)
        continue;
      // A process that is still starting is listed without its image: look again.
      if (cmdline == image + 7) continue;
      seen[pid] = {tv::unescape_line(line.substr(image + 7, cmdline - image - 7)),
                   tv::unescape_line(line.substr(cmdline + 9))};
      run->started.push_back(seen[pid]);
    }
    if (run->exit_code < 0) {
      try {
        run->exit_code = number_after(driver.command("wait exit 0").at(0), "code");
        ended = Clock::now();
      } catch (const DriverError&) {
        if (Clock::now() > deadline) {
          run->stopped = "the installer did not end within 30 s of 完成";
          return;
        }
      }
    } else if (Clock::now() - ended > std::chrono::seconds(3)) {
      return;
    }
    driver.command("sleep 250");
  }
}

}  // namespace tvpack
