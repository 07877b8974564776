// talvenor-pack try: runs an installer under Wine as a user would (a throwaway prefix,
// a virtual display when there is none, the UI driver pressing its buttons) and checks
// what it installed against its own package. Linux only: the Windows maker says so.
// What main needs; the pieces have a header each beside it.
#pragma once
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace tvpack {

class Sandbox;

// The Wine user a run has unless --user names another: as long as Windows allows (20
// characters), so that every text holding a user folder is measured as real users see it.
constexpr char kDefaultWineUser[] = "Wang.Xiaoming-Design";

// --folder and --expect-box, in the order given.
struct TryStep {
  bool box = false;  // --expect-box TEXT; else --folder TEXT ("" types an empty folder)
  std::string text;
  bool again = false;  // after this box, install is pressed again though no --folder follows
};

struct TryOptions {
  std::filesystem::path installer;
  // --over: the old versions, installed one over another first (the last is the one
  // the installer is tried over).
  std::vector<std::filesystem::path> over;
  bool running = false;                // --running: the old version's program runs meanwhile
  std::string user = kDefaultWineUser; // --user: the Wine user's name
  std::vector<TryStep> steps;          // --folder and --expect-box; no --folder keeps the dialog's own
  bool run = false;                    // --run: leave both boxes ticked
  bool verbose = false;                // -v: every file and shortcut in the report, the dialogs as they come
  std::filesystem::path screenshots;   // "" for none
  std::filesystem::path json;          // "" for none
  std::filesystem::path driver;        // "" to find it
  std::filesystem::path self_dir;      // the maker's folder (where the driver may be)
  int timeout = 60;                    // seconds for each wait on the installer
  // Run while the finish dialog is up, before the check: only the test build's maker
  // sets it (add_test_hook).
  std::function<void(Sandbox&)> before_check;
};

// Exit status: 0 all as the package says, 1 something differs or the installer showed
// a box or stopped, 2 a usage error or a machine that cannot run it.
int try_installer(const TryOptions& options, std::ostream& out, std::ostream& err);


// The test build's maker (tests/pack: test_hook.cpp) sets options->before_check to run
// a command its environment names, which changes what was installed; the shipped maker
// (no_test_hook.cpp) does nothing and runs nothing from its environment.
void add_test_hook(TryOptions* options);

}  // namespace tvpack
