// talvenor-pack try, the dialogs: the steps a user takes through the UI driver
// (driver_session.cpp): wait for the install dialog, type a folder, press 一键安装, wait for the finish dialog, untick or
// keep its boxes, press 完成. A message box at any step ends the run and is answered
// (the retry prompt with 取消). Every wait has a time limit.
#include <chrono>
#include <fstream>

#include "common/errors.h"
#include "line_escape.h"
#include "base/shell_folders.h"
#include "base/text16.h"
#include "try/dialogs.h"
#include "try/fit.h"
#include "try/signals.h"

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

enum class Waited { kDialog, kExpectedBox, kStopped };

// The run is over: the install dialog, when it is still up (after a box that refused
// the folder), closed as a user would close it, and the installer's exit code waited for.
void close_installer(DriverSession& driver, TryRun* run) {
  try {
    driver.command("wait install 2");
    driver.command("close");
  } catch (const DriverError&) {
  }
  try {
    run->exit_code = number_after(driver.command("wait exit 10", 20).at(0), "code");
  } catch (const std::exception&) {
  }
}

// The message box on screen: its texts, a screenshot, then the answer a user gives: 取消
// where the box has it (the retry prompt), else its first button. A box whose text
// holds *expect is expected (kExpectedBox); any other ends the run (kStopped).
Waited record_box(DriverSession& driver, Sandbox& sandbox, const fs::path& shots, const std::string* expect,
                  TryRun* run) {
  std::vector<std::string> lines = driver.command("message");
  Box box;
  box.caption = field(lines, "message", "caption");
  box.text = field(lines, "message", "text");
  box.expected = expect != nullptr && box.text.find(*expect) != std::string::npos;
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
  run->happened(Happened::kBox, run->boxes.size() - 1);
  if (box.expected) return Waited::kExpectedBox;
  run->stopped = "the installer showed a message box";
  close_installer(driver, run);
  return Waited::kStopped;
}

// The texts of the dialog on screen that do not fit their controls.
void cut_texts(DriverSession& driver, const std::string& dialog, TryRun* run) {
  size_t before = run->cut.size();
  find_cut_texts(driver.command("fit"), dialog, &run->cut);
  for (size_t i = before; i < run->cut.size(); ++i) run->happened(Happened::kCut, i);
}

double since(const TryRun& run) {
  return std::chrono::duration<double>(Clock::now() - run.began).count();
}

// Waits up to seconds for the dialog of kind; a message box instead is answered and
// ends the run unless its text holds *expect.
Waited wait_for_dialog(DriverSession& driver, Sandbox& sandbox, const fs::path& shots, const std::string& kind,
                       int seconds, const std::string* expect, TryRun* run) {
  auto deadline = Clock::now() + std::chrono::seconds(seconds);
  do {
    try {
      driver.command("wait " + kind + " 1", 30);
      return Waited::kDialog;
    } catch (const DriverError& e) {
      std::string why = e.what();
      if (why.find("ended before") != std::string::npos) {
        run->stopped = "the installer ended without showing its " + kind + " dialog";
        try {
          run->exit_code = number_after(driver.command("wait exit 5").at(0), "code");
        } catch (const std::exception&) {
        }
        return Waited::kStopped;
      }
      if (why.find("no " + kind + " dialog appeared") == std::string::npos) throw;
    }
    try {
      driver.command("wait message 0");
    } catch (const DriverError&) {
      continue;
    }
    return record_box(driver, sandbox, shots, expect, run);
  } while (Clock::now() < deadline);
  run->stopped = "no " + kind + " dialog within " + std::to_string(seconds) + " s: the installer hangs";
  take_shot(driver, sandbox, shots, "hang", run);
  return Waited::kStopped;
}

// The run ends after its last expected box: the install dialog, when it is still up,
// is closed as a user would close it.
void end_as_expected(DriverSession& driver, TryRun* run) {
  run->ended_as_expected = true;
  close_installer(driver, run);
}

}  // namespace

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
    run->happened(Happened::kShot, run->shots.size() - 1);
  } catch (const std::exception&) {
    // A screenshot that cannot be taken is not the installer's fault.
  }
}

void read_shell_folders(DriverSession& driver, TryRun* run) {
  for (const tv::FolderVariable& folder : tv::kFolderVariableList) {
    int csidl = folder.csidl;
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
  if (wait_for_dialog(driver, sandbox, shots, "install", seconds, nullptr, run) != Waited::kDialog) return false;
  run->to_install = since(*run);
  run->install_dialog = true;
  run->caption = driver.value("caption");
  run->description = driver.value("text 1002");
  run->offered = driver.value("text 1006");
  run->happened(Happened::kInstallDialog, 0);
  cut_texts(driver, "install", run);
  return true;
}

bool reach_finish_dialog(DriverSession& driver, Sandbox& sandbox, const fs::path& shots,
                         const std::vector<TryStep>& steps, int seconds, const AfterBox& after_box, TryRun* run) {
  size_t next = 0;
  for (;;) {
    for (; next < steps.size() && !steps[next].box; ++next) {
      driver.command("type 1006 " + steps[next].text);
      run->typed = driver.value("text 1006");
      run->typed_folders.push_back(run->typed);
      run->happened(Happened::kTyped, run->typed_folders.size() - 1);
    }
    take_shot(driver, sandbox, shots, "install", run);
    driver.command("click 1001");
    const TryStep* expect = next < steps.size() ? &steps[next] : nullptr;
    Waited waited = wait_for_dialog(driver, sandbox, shots, "finish", seconds, expect ? &expect->text : nullptr, run);
    if (waited == Waited::kDialog) break;
    if (waited == Waited::kStopped) return false;
    ++next;
    if (after_box) after_box(*expect);
    if (next == steps.size() && !expect->again) {
      end_as_expected(driver, run);
      return false;
    }
    try {
      driver.command("wait install 5");
    } catch (const DriverError&) {
      run->stopped = "the install dialog was gone after the box " + quote(run->boxes.back().text);
      return false;
    }
  }
  for (; next < steps.size(); ++next)
    if (steps[next].box) run->missing_boxes.push_back(steps[next].text);
  run->to_finish = since(*run);
  run->finish_dialog = true;
  run->finish_text = driver.value("text 1002");
  run->launch_text = driver.value("text 1004");
  run->help_text = driver.value("text 1005");
  run->launch_ticked = driver.value("checked 1004") == "1";
  run->help_ticked = driver.value("checked 1005") == "1";
  run->happened(Happened::kFinishDialog, 0);
  cut_texts(driver, "finish", run);
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
      run->happened(Happened::kStarted, run->started.size() - 1);
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
