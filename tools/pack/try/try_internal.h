// Inside talvenor-pack try, one file each: sandbox.cpp (the machine: Wine, the prefix,
// the display, the processes and their end), signals.cpp (Ctrl+C), drives.cpp (where a
// Windows path of the prefix lies on the host), dialogs.cpp (the driver session and
// the dialogs), check.cpp (the installed files and shortcuts against the package),
// report.cpp (the report, as text and JSON), run.cpp (the run from start to report).
#pragma once
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "try/try.h"

namespace tvpack {

// --- the machine (sandbox.cpp, signals.cpp, drives.cpp) --------------------------

// The machine cannot run the installer (exit status 2); one line.
class MachineError : public std::runtime_error {
 public:
  explicit MachineError(const std::string& line) : std::runtime_error(line) {}
};
// Ctrl+C or SIGTERM arrived; everything is ended on the way out, then the signal is raised.
class Interrupted : public std::runtime_error {
 public:
  Interrupted() : std::runtime_error("interrupted") {}
};

// The signals that stop a run.
constexpr int kStopSignals[3] = {SIGINT, SIGTERM, SIGHUP};

// Installs the handlers for SIGINT, SIGTERM and SIGHUP for its lifetime. raise_pending()
// re-raises a signal that arrived, with its default action.
class SignalGuard {
 public:
  SignalGuard();
  ~SignalGuard();
  static bool pending();
  static int wake_fd();  // readable once a signal arrived
  static void raise_pending();
};

// A child process in a process group of its own, with pipes when asked.
struct Child {
  pid_t pid = -1;
  int in = -1, out = -1;  // its standard input and output, or -1
};

// A file of the clean prefix that a run's copy shares (a hard link), as it was then.
struct SharedFile {
  std::filesystem::path path;  // in the clean prefix
  struct stat st;
};
// Copies the clean prefix from into to: folders and links as they are, read-only files
// (Windows' own programs) hard-linked where the file system allows, the rest copied.
// The hard-linked files.
std::vector<SharedFile> copy_prefix(const std::filesystem::path& from, const std::filesystem::path& to);
// A shared file that was changed (written, made writable) since: "" for none.
std::filesystem::path changed_shared_file(const std::vector<SharedFile>& files);

// Whether this kernel executes 32-bit x86 programs (a tiny static ELF is run).
bool kernel_runs_32bit();
// "X:\\a\\..\\.\\b" as Windows resolves it before it looks at any file ("X:\\b");
// other paths as they are.
std::u16string resolved_windows_path(const std::u16string& path);
// The host path of a Windows path "X:\\..." on a drive of the Wine prefix (its
// dosdevices link followed when it leads into the folder that holds the prefix): an
// existing name that differs only in case (Windows' case table) is taken, as Windows
// takes it, and ".." stops at the drive's root. "" when the path names no such drive
// (another drive, a network or relative path) or goes through a link below the drive's
// root (the installer's, or Wine's to the host: never followed).
std::filesystem::path map_windows_path(const std::filesystem::path& prefix, const std::u16string& windows);

class Sandbox {
 public:
  // Finds Wine for a bits-bit program and a display; throws MachineError.
  Sandbox(int bits, std::ostream& log);
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
  // Runs a shell command with the prefix's paths in its environment (the test build's
  // hook: test_hook.cpp).
  int run_hook(const std::string& command);

  std::string wine_version() const { return wine_version_; }
  std::string display() const { return display_; }
  bool own_display() const { return xvfb_.pid > 0; }
  std::filesystem::path prefix() const { return run_ / "prefix"; }
  std::filesystem::path drive_d() const { return run_ / "d"; }
  std::filesystem::path drive_t() const { return run_ / "t"; }

  // Waits for a child to end within seconds (then ends its group); its exit status.
  int wait(Child& child, int seconds);
  void end(Child& child);

 private:
  std::vector<std::string> environment() const;
  Child spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, bool pipes);
  std::filesystem::path cached_prefix();
  void start_display();
  void reap(Child& child, int seconds);
  void forget(pid_t pid);
  void stop();

  std::ostream& log_;
  std::string wine_, wine32_, wine64_, boot_wine_, wineserver_, wine_version_, arch_, display_;
  std::filesystem::path cache_, run_, clean_;
  std::vector<SharedFile> shared_;
  std::string xauthority_;  // the user's X cookie, for their display
  Child xvfb_;
  std::vector<Child> children_;
  bool stopped_ = false;
  mutable int runs32_ = -1;  // the kernel runs 32-bit code: -1 not yet probed
};

// --- the dialogs (dialogs.cpp) ------------------------------------------------------

// The driver failed a command ("error: ..."), or did not answer in time.
class DriverError : public std::runtime_error {
 public:
  explicit DriverError(const std::string& line) : std::runtime_error(line) {}
};

class DriverSession {
 public:
  DriverSession(Sandbox& sandbox, int bits, const std::string& driver_name);
  ~DriverSession();
  // The command's lines before "ok"; DriverError for "error: ..." or no answer in time.
  std::vector<std::string> command(const std::string& line, int seconds = 30);
  // The unescaped text after the answer's first word(s) ("text 1002 X" -> X).
  std::string value(const std::string& line);

 private:
  bool read_line(std::string* line, int seconds);
  Sandbox& sandbox_;
  Child child_;
  std::string buffer_;
};

struct Shot {
  std::string dialog, path;
  int width = 0, height = 0;
};
struct Box {
  std::string caption, text, answer;
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

// What the run saw, in the order it happened.
struct TryRun {
  std::chrono::steady_clock::time_point began;  // the command's start
  int installer_pid = 0;
  std::map<int, std::u16string> shell_folders;  // CSIDL -> path, as the prefix's shell gives it
  bool install_dialog = false;
  double to_install = 0, to_finish = 0;  // seconds from the start
  std::string caption, description, offered;  // the install dialog
  std::string typed;                          // --folder, as the edit box then held it
  bool finish_dialog = false;
  std::string finish_text, launch_text, help_text;
  bool launch_ticked = false, help_ticked = false;
  std::vector<Box> boxes;
  std::vector<CutText> cut;  // texts of either dialog that do not fit their controls
  std::vector<Shot> shots;
  std::vector<StartedProcess> started;
  std::string stopped;  // why the run ended before the finish dialog was answered ("": it did not)
  int exit_code = -1;
};

// Each step fills run; a box (recorded and answered), a timeout (with a screenshot) or
// the installer's end is recorded in run->stopped and returns false. Screenshots go to
// shots unless it is "".
void read_shell_folders(DriverSession& driver, TryRun* run);
// Starts the installer (a file of drive T:) and waits for its install dialog.
bool reach_install_dialog(DriverSession& driver, Sandbox& sandbox, const std::filesystem::path& shots,
                          const std::string& installer, int seconds, TryRun* run);
// Types folder (unless ""), presses 一键安装 and waits for the finish dialog.
bool reach_finish_dialog(DriverSession& driver, Sandbox& sandbox, const std::filesystem::path& shots,
                         const std::string& folder, int seconds, TryRun* run);
// Unticks both boxes (unless run_programs), presses 完成 and waits for the end; with
// run_programs, records what the installer started.
void answer_finish_dialog(DriverSession& driver, bool run_programs, TryRun* run);
// A PNG of the current dialog (the screen when there is none) into dir as NN-name.png.
void take_shot(DriverSession& driver, Sandbox& sandbox, const std::filesystem::path& dir,
               const std::string& name, TryRun* run);

// The cut texts among the driver's "fit id=ID class=CLASS fits=yes|no needed=WxH
// available=WxH text=TEXT" lines (try/fit.cpp).
void find_cut_texts(const std::vector<std::string>& lines, const std::string& dialog, std::vector<CutText>* cut);

// --- the check (check.cpp) ----------------------------------------------------------

struct Placed {
  std::string what;   // the package's name for it ("{Desktop}\\x.lnk")
  std::string where;  // the Windows path it went to
  bool shortcut = false;
};
struct CheckResult {
  std::string folder;  // the install folder, as the installer takes it
  size_t files = 0, shortcuts = 0;               // in the package
  size_t files_ok = 0, shortcuts_ok = 0;
  std::vector<std::string> problems;             // one line each
  std::vector<Placed> outside;                   // outside the install folder
  std::vector<std::string> listing;              // each file and shortcut with its verdict
  std::string package_stops;                     // why the package stops the installer ("" none)
  std::string launch, help;                      // what the finish dialog starts ("" none)
};

// Reads a .lnk file's target and arguments (UTF-8); "" when it did, else why not.
using ShortcutReader = std::function<std::string(const std::u16string& link, std::string* target, std::string* args)>;
// The prefix's drives against the package read for the shell folders (CSIDL -> path)
// and the edit box's text.
CheckResult check_installation(const std::vector<uint8_t>& bytes, const std::map<int, std::u16string>& shell_folders,
                               const std::string& edit_text, const std::filesystem::path& prefix,
                               const ShortcutReader& read_shortcut);

// --- the report (report.cpp) --------------------------------------------------------

// What the run saw and what the check found.
struct Outcome {
  std::string names;  // the product name and folder name the installer uses (product_names_text)
  TryRun run;
  CheckResult check;
  bool checked = false;
  std::string wine, display;
  bool xvfb = false;
  int bits = 0;
};

// The verdict's reasons, one line each; none when all is as the package says.
std::vector<std::string> failures(const Outcome& o);
// The report on out, the verdict last.
void write_text(const TryOptions& opt, const Outcome& o, const std::vector<std::string>& why, std::ostream& out);
// The report as JSON into opt.json; throws PackError when it cannot be written.
void write_json(const TryOptions& opt, const Outcome& o, const std::vector<std::string>& why, int status);

// A JSON string of text from anywhere (the installer's dialogs, the package, file
// names): always valid UTF-8, U+FFFD for what is no text.
std::string json_string(const std::string& text);

}  // namespace tvpack
