// talvenor-pack try, what a run saw, in the order it happened: the dialogs' texts, the
// boxes answered, the texts cut off, the screenshots, the processes started, the end.
#pragma once
#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tvpack {

struct Shot {
  std::string dialog, path;
  int width = 0, height = 0;
  std::string version = "new";  // whose dialog: "new", or "old1", "old2"... (--over)
};
struct Box {
  std::string caption, text, answer;
  bool expected = false;  // an --expect-box matched it
};
// A text that does not fit its control, as the driver's fit command measured it.
struct CutText {
  std::string dialog;  // "install" or "finish"
  int id = 0;
  std::string text, needed, available;  // sizes as WxH pixels
};
struct StartedProcess {
  std::string image, command_line;
};

// What one line of the report tells, kept in the order it happened: its kind and its
// index in that kind's list (kStep: in the upgrade's steps).
enum class Happened { kInstallDialog, kTyped, kBox, kCut, kShot, kFinishDialog, kStarted, kStep };
struct Happening {
  Happened what;
  size_t index;
};

// What the run saw, in the order it happened.
struct TryRun {
  std::chrono::steady_clock::time_point began;  // the command's start
  int installer_pid = 0;
  std::map<int, std::u16string> shell_folders;  // CSIDL -> path, as the prefix's shell gives it
  bool install_dialog = false;
  double to_install = 0, to_finish = 0;  // seconds from the start
  std::string caption, description, offered;  // the install dialog
  std::string typed;                          // the last --folder, as the edit box then held it
  std::vector<std::string> typed_folders;     // every --folder, as the edit box held it
  std::vector<std::string> missing_boxes;     // --expect-box texts no box held
  bool ended_as_expected = false;             // ended after the last expected box
  std::string moved_aside;                    // where the installer moved an existing folder ("" nowhere)
  std::string moved_own;                      // the prefix's own folder it moved with it ("" none)
  bool finish_dialog = false;
  std::string finish_text, launch_text, help_text;
  bool launch_ticked = false, help_ticked = false;
  std::vector<Box> boxes;
  std::vector<CutText> cut;  // texts of either dialog that do not fit their controls
  std::vector<Shot> shots;
  std::vector<StartedProcess> started;
  std::string stopped;  // why the run ended before the finish dialog was answered ("": it did not)
  int exit_code = -1;   // the installer process's, -1 when its end was not seen
  std::vector<Happening> order;  // every dialog, folder typed, box, cut text, screenshot, start, step
  std::function<void(Happened)> on_happened;  // told of each as it happens, when set

  void happened(Happened what, size_t index) {
    order.push_back({what, index});
    if (on_happened) on_happened(what);
  }
};

}  // namespace tvpack
