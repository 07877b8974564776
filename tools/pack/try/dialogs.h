// talvenor-pack try, the dialogs: the steps a user takes, each filling the run's record.
#pragma once
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "try/driver_session.h"
#include "try/run_record.h"
#include "try/sandbox.h"
#include "try/try.h"

namespace tvpack {

// Each step fills run; a box (recorded and answered), a timeout (with a screenshot) or
// the installer's end is recorded in run->stopped and returns false. Screenshots go to
// shots unless it is "".
void read_shell_folders(DriverSession& driver, TryRun* run);
// Starts the installer (a file of drive T:) and waits for its install dialog.
bool reach_install_dialog(DriverSession& driver, Sandbox& sandbox, const std::filesystem::path& shots,
                          const std::string& installer, int seconds, TryRun* run);
// Called after an expected box was answered, before install is pressed again.
using AfterBox = std::function<void(const TryStep& box)>;
// Goes through the steps and presses 一键安装 until the finish dialog: each --folder is
// typed, and each box expected next (--expect-box) is answered and install pressed
// again after the --folder that follows it; after the last step's box (unless again)
// the run ends there (run->ended_as_expected) and this returns false.
bool reach_finish_dialog(DriverSession& driver, Sandbox& sandbox, const std::filesystem::path& shots,
                         const std::vector<TryStep>& steps, int seconds, const AfterBox& after_box, TryRun* run);
// Unticks both boxes (unless run_programs), presses 完成 and waits for the end; with
// run_programs, records what the installer started.
void answer_finish_dialog(DriverSession& driver, bool run_programs, TryRun* run);
// A PNG of the current dialog (the screen when there is none) into dir as NN-name.png.
void take_shot(DriverSession& driver, Sandbox& sandbox, const std::filesystem::path& dir,
               const std::string& name, TryRun* run);

}  // namespace tvpack
