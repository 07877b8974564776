// talvenor-pack try, the machine: Wine for the installer's bits (wine.cpp), a clean
// prefix made once and cached (prefix_cache.cpp), a throwaway copy of it per run with
// its own drives D: and T: and its own HOME, a virtual display when DISPLAY is unset
// (display.cpp), and every process started in a group of its own (processes.cpp) so
// that each one is ended when the run stops, on Ctrl+C too.
#pragma once
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "try/prefix_cache.h"
#include "try/processes.h"
#include "try/wine.h"

namespace tvpack {

class Sandbox {
 public:
  // Finds Wine for a bits-bit program and a display; fails with fail_machine(). The run's
  // Windows user is named user.
  Sandbox(int bits, const std::string& user, std::ostream& log);
  ~Sandbox();  // ends every process it started and removes the throwaway folder
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  // Whether Wine for bits-bit programs runs here.
  bool runs(int bits) const;
  // The cached clean prefix (made once), its throwaway copy, drive D:, drive T: with
  // the files given (the installer, the driver), the display.
  void start(const std::vector<std::filesystem::path>& files);
  // Starts a bits-bit Windows program of drive T: (a file given to start()).
  Child spawn_windows(int bits, const std::string& name, const std::vector<std::string>& args, bool pipes);
  // Starts a Windows program by its Windows path, as a user would (no pipes).
  Child spawn_program(int bits, const std::string& windows_path);
  // Runs a shell command with the prefix's paths in its environment (the test build's
  // hook: test_hook.cpp).
  int run_hook(const std::string& command);

  std::string wine_version() const { return wine_.version; }
  std::string display() const { return display_; }
  bool own_display() const { return xvfb_.pid > 0; }
  std::filesystem::path prefix() const { return run_ / "prefix"; }
  std::filesystem::path drive_d() const { return run_ / "d"; }
  std::filesystem::path drive_t() const { return run_ / "t"; }

  // Waits for a child to end within seconds (then ends its group); its exit status.
  int wait(Child& child, int seconds) { return processes_.wait(child, seconds); }
  void end(Child& child) { processes_.end(child); }

 private:
  std::vector<std::string> environment() const;
  void stop();

  std::ostream& log_;
  Wine wine_;
  std::string user_, display_;
  std::filesystem::path cache_, run_, clean_;
  bool throwaway_cache_ = false;  // made for this run alone (cache_folder.h)
  std::vector<SharedFile> shared_;
  std::string xauthority_;  // the user's X cookie, for their display
  Processes processes_;
  Child xvfb_;
  bool stopped_ = false;
  mutable int runs32_ = -1;  // the kernel runs 32-bit code: -1 not yet probed
};

}  // namespace tvpack
