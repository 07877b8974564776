// talvenor-pack try: runs an installer under Wine as a user would (a throwaway prefix,
// a virtual display when there is none, the UI driver pressing its buttons) and checks
// what it installed against its own package. Linux only: the Windows maker says so.
// What main needs; the pieces have a header each beside it.
#pragma once
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>

namespace tvpack {

class Sandbox;

struct TryOptions {
  std::filesystem::path installer;
  std::string folder;                  // --folder: typed into the dialog ("" keeps its own)
  bool run = false;                    // --run: leave both boxes ticked
  bool verbose = false;                // -v: every file and shortcut in the report
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
