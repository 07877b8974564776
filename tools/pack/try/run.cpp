// talvenor-pack try, the run from start to report: the installer and the UI driver
// found and checked, the machine set up, the dialogs driven, the result checked against
// the package while the finish dialog is up, everything ended, then the report (text,
// and JSON with --json) and the exit status.
#include <signal.h>

#include "common/beside_maker.h"
#include "common/errors.h"
#include "common/output_folder.h"
#include "common/read_file.h"
#include "common/windows_path.h"
#include "line_escape.h"
#include "pe/package_section.h"
#include "pe/pe_image.h"
#include "base/shell_folders.h"
#include "base/text16.h"
#include "read/inspect.h"
#include "session/install_folder.h"
#include "session/install_walk.h"
#include "try/dialogs.h"
#include "try/drives.h"
#include "try/machine_error.h"
#include "try/report.h"
#include "try/signals.h"
#include "try/upgrade.h"
#include "try/wine_user.h"

namespace fs = std::filesystem;

namespace tvpack {
namespace {

const char kDriverName[] = "talvenor-ui-driver.exe";
// A stable part of the box the installer shows when the old version's folder cannot
// be renamed (its end names the product).
const char kOldVersionHeldText[] = "重命名旧版本失败";

// What the run's steps share: the machine, the driver, both versions' bytes.
struct Machine {
  InstallWalk& walk;  // the command's one session over the installer's state
  Sandbox& sandbox;
  DriverSession& driver;
  const std::vector<uint8_t>& bytes;
  const std::vector<std::vector<uint8_t>>& old_bytes;  // --over, each version's
  std::vector<std::string> old_names;                  // their files on drive T:
};

bool has_package_section(const std::vector<uint8_t>& bytes) {
  try {
    return find_package_section(parse_pe(bytes.data(), bytes.size())) != nullptr;
  } catch (const PackError&) {
    return false;
  }
}

// The driver: --driver, else the first that runs here, found by the stub's rule
// (beside_maker.h), with one more folder: ../win64/ from the maker's, a source build's
// 64-bit driver, for a 64-bit installer and for machines that run no 32-bit program.
// The installer's own kind first.
std::pair<fs::path, int> find_driver(const TryOptions& o, const Sandbox& sandbox, int installer_bits) {
  std::error_code ec;
  if (!o.driver.empty()) {
    std::vector<uint8_t> bytes = read_file(o.driver);
    int bits = pe_bits(bytes);
    if (bits == 0) fail_machine(show_path(o.driver) + " is not a Windows program");
    if (!sandbox.runs(bits))
      fail_machine(show_path(o.driver) + " is a " + std::to_string(bits) + "-bit driver, which cannot run here" +
                         (bits == 32 ? " (no 32-bit Wine, or a kernel without 32-bit support)"
                                     : " (no 64-bit Wine)"));
    return {o.driver, bits};
  }
  std::vector<std::pair<fs::path, int>> wide, narrow;
  if (!o.self_dir.empty()) wide.push_back({(o.self_dir / ".." / "win64").lexically_normal(), 64});
  for (const fs::path& folder : beside_maker(o.self_dir)) narrow.push_back({folder, 32});
  if (installer_bits == 32) std::swap(wide, narrow);
  std::vector<std::pair<fs::path, int>> places = wide;
  places.insert(places.end(), narrow.begin(), narrow.end());
  std::string tried;
  for (const auto& place : places) {
    fs::path p = (place.first / kDriverName).lexically_normal();
    if (!fs::is_regular_file(p, ec)) continue;
    int bits = pe_bits(read_file(p));
    if (bits != 0 && sandbox.runs(bits)) return {p, bits};
    tried += (tried.empty() ? "" : ", ") + show_path(p) + " (" + std::to_string(bits) + "-bit, cannot run here)";
  }
  fail_machine("no UI driver (" + std::string(kDriverName) + ") that runs here" +
                     (tried.empty() ? "" : ": found " + tried) +
                     "; build it (cmake --build --preset win64 --target talvenor-ui-driver) or give --driver");
}

// The .lnk files read back as the shell reads them, through the driver.
ShortcutReader shortcut_reader(DriverSession& driver) {
  return [&driver](const std::u16string& link, std::string* target, std::string* args) {
    try {
      for (const std::string& l : driver.command("shortcut " + tv::u16_to_utf8(link))) {
        if (l.compare(0, 16, "shortcut target=") == 0) *target = tv::unescape_line(l.substr(16));
        if (l.compare(0, 14, "shortcut args=") == 0) *args = tv::unescape_line(l.substr(14));
      }
      return std::string();
    } catch (const DriverError& e) {
      return std::string(e.what());
    }
  };
}

// The folder both versions go to: the first --folder, else the one the new version offers.
std::string upgrade_folder(const TryOptions& opt, InstallWalk& walk, const std::vector<uint8_t>& bytes,
                           const TryRun& run) {
  if (!opt.steps.empty() && !opt.steps[0].box) return opt.steps[0].text;
  start_over(walk, run.shell_folders);
  return walk.open(bytes).empty() ? tv::u16_to_utf8(walk.default_folder()) : "";
}

// The steps of the new version's install: with --running, the rename box is expected
// at the first press, and install is pressed again after it.
std::vector<TryStep> new_version_steps(const TryOptions& opt) {
  std::vector<TryStep> steps = opt.steps;
  if (!opt.running) return steps;
  size_t at = 0;
  while (at < steps.size() && !steps[at].box) ++at;
  steps.insert(steps.begin() + long(at), TryStep{true, kOldVersionHeldText, true});
  return steps;
}

// Why the old version did not install as its package says, by the same verdict as any
// run's; none when it did.
std::vector<std::string> old_version_failures(const Upgrade& up, bool finished) {
  Outcome old;
  old.run = up.run;
  old.check = up.check;
  old.checked = finished;
  std::vector<std::string> why = failures(old);
  if (!finished && why.empty()) why.push_back(up.run.stopped);
  return why;
}

// The old version installed, and with --running its program started; false when the
// old version did not install as its package says.
bool prepare_upgrade(const TryOptions& opt, const Machine& m, Outcome* o) {
  Upgrade& up = o->upgrade;
  for (size_t i = 0; i < opt.over.size(); ++i) {
    up = Upgrade();
    up.installer = show_path(opt.over[i]);
    up.run.shell_folders = o->run.shell_folders;
    up.folder_text = upgrade_folder(opt, m.walk, m.bytes, o->run);
    bool finished = install_old_version(m.driver, m.sandbox, opt, m.walk, m.old_bytes[i], m.old_names[i],
                                        shortcut_reader(m.driver), &up);
    up.failed = old_version_failures(up, finished);
    bool installed = up.failed.empty();
    for (Shot s : up.run.shots) {
      s.version = "old" + std::to_string(i + 1);
      o->old_shots.push_back(s);
    }
    if (!installed) return false;
    if (i > 0) o->earlier.push_back(show_path(opt.over[i - 1]));
  }
  up.folder_host = map_windows_path(m.sandbox.prefix(), tv::utf8_to_u16(up.check.folder));
  if (opt.running) start_old_program(m.driver, m.sandbox, &up);
  return true;
}

// The first of the prefix's own folders that lies in folder (or is it), "" when none:
// the shell's (the profile and its folders, the Windows, system and program-files
// folders), as the driver's shell names them, and the folders every prefix has,
// the 64-bit program files among them.
std::string own_folder_in(DriverSession& driver, const std::u16string& folder) {
  std::vector<std::u16string> own = {u"C:\\Program Files", u"C:\\Program Files (x86)",
                                     u"C:\\Program Files\\Common Files", u"C:\\windows",
                                     u"C:\\users", u"C:\\ProgramData"};
  for (int csidl : tv::kOwnFolderCsidls) {
    try {
      own.push_back(tv::utf8_to_u16(driver.value("folder " + std::to_string(csidl))));
    } catch (const DriverError&) {
    }
  }
  for (const std::u16string& path : own)
    if (!path.empty() && starts_with_folder(path, folder)) return tv::u16_to_utf8(path.c_str());
  return "";
}

// The new version's dialogs, the check while its finish dialog is up, and the upgrade's.
void install_new_version(const TryOptions& opt, const Machine& m, Outcome* o) {
  TryRun& run = o->run;
  Snapshot before = take_snapshot(m.sandbox.prefix());
  // With --running, taken again once the program ended (it may write in its folder).
  if (o->over) {
    o->upgrade.before = before;
    remember_outside_files(m.sandbox.prefix(), &o->upgrade);
  }
  AfterBox after_box = [&](const TryStep& box) {
    if (box.again && opt.running) {
      size_t told = o->upgrade.steps.size();
      close_old_program(m.driver, m.sandbox, &o->upgrade);
      for (size_t i = told; i < o->upgrade.steps.size(); ++i) run.happened(Happened::kStep, i);
      o->upgrade.before = take_snapshot(m.sandbox.prefix());
      remember_outside_files(m.sandbox.prefix(), &o->upgrade);
    }
  };
  std::string name = opt.installer.filename().string();
  bool finished = reach_install_dialog(m.driver, m.sandbox, opt.screenshots, name, opt.timeout, &run) &&
                  reach_finish_dialog(m.driver, m.sandbox, opt.screenshots, new_version_steps(opt), opt.timeout,
                                      after_box, &run);
  std::string folder_text = run.typed_folders.empty() ? run.offered : run.typed;
  m.walk.read_own_resources(m.bytes);  // an empty box installs to the new version's own default
  std::u16string chosen = install_folder_from(tv::utf8_to_u16(folder_text));
  if (run.install_dialog) run.moved_aside = moved_aside(m.sandbox.prefix(), tv::u16_to_utf8(chosen), before);
  if (!run.moved_aside.empty()) run.moved_own = own_folder_in(m.driver, chosen);
  if (!finished) return;
  if (opt.before_check) opt.before_check(m.sandbox);
  o->check = check_installation(m.walk, m.bytes, run.shell_folders, folder_text, m.sandbox.prefix(), shortcut_reader(m.driver));
  o->checked = true;
  if (o->over) check_upgrade(m.walk, m.old_bytes.back(), run, o->check, m.sandbox.prefix(), &o->upgrade);
  answer_finish_dialog(m.driver, opt.run, &run);
}

// --verbose: the installer's dialogs as they come up, on stderr, while the run goes on.
void tell_dialog(std::ostream& err, Happened what) {
  if (what == Happened::kInstallDialog) tell(err, "try: the install dialog is up");
  if (what == Happened::kFinishDialog) tell(err, "try: the finish dialog is up");
}

// Everything that needs the machine; the sandbox is gone (every process ended, the
// throwaway folder removed) when this returns or throws.
void run_installer(const TryOptions& opt, InstallWalk& walk, const std::vector<uint8_t>& bytes,
                   const std::vector<std::vector<uint8_t>>& old_bytes, std::ostream& err, Outcome* o) {
  Sandbox sandbox(o->bits, opt.user, err);
  std::pair<fs::path, int> driver_file = find_driver(opt, sandbox, o->bits);
  std::vector<fs::path> files = {opt.installer, driver_file.first};
  // The old version on drive T: under a name of its own.
  std::vector<std::string> old_names;
  sandbox.start(files);
  for (size_t i = 0; i < opt.over.size(); ++i) {
    old_names.push_back("old" + std::to_string(i + 1) + "-" + opt.over[i].filename().string());
    fs::copy_file(opt.over[i], sandbox.drive_t() / old_names.back());
  }
  o->wine = sandbox.wine_version();
  o->display = sandbox.display();
  o->xvfb = sandbox.own_display();
  DriverSession driver(sandbox, driver_file.second, driver_file.first.filename().string());
  read_shell_folders(driver, &o->run);
  Machine m{walk, sandbox, driver, bytes, old_bytes, old_names};
  if (o->over && !prepare_upgrade(opt, m, o)) return;
  if (opt.verbose) o->run.on_happened = [&err](Happened what) { tell_dialog(err, what); };
  install_new_version(opt, m, o);
}

// The installer read and checked to be one; throws PackError.
std::vector<uint8_t> read_installer(const TryOptions& opt, const fs::path& installer, int* bits) {
  std::vector<uint8_t> bytes = read_file(installer);
  *bits = pe_bits(bytes);
  if (*bits == 0) fail(installer, "is not a Windows program, so not an installer");
  if (!has_package_section(bytes))
    fail(installer, "is not a Talvenor installer: it carries no package section (.tvpkg)");
  std::string user = wine_user_problem(opt.user);
  if (!user.empty()) throw PackError("try: --user " + quote(opt.user) + ": " + user);
  if (opt.running && opt.over.empty()) throw PackError("try: --running needs --over OLD.exe (the old version)");
  return bytes;
}

// The folders the run writes into, made before anything runs: the screenshots' and
// the JSON report's; throws PackError with the system's reason.
void make_outputs(const TryOptions& opt) {
  if (!opt.json.empty()) make_output_folder(opt.json);
  if (opt.screenshots.empty()) return;
  std::error_code ec;
  fs::create_directories(opt.screenshots, ec);
  if (!fs::is_directory(opt.screenshots))
    fail(opt.screenshots, "cannot be made as a folder (" + (ec ? ec.message() : std::string("it is a file")) + ")");
}

int interrupted(std::ostream& err) {
  tell(err, "try: interrupted; every process it started has been ended");
  SignalGuard::raise_pending();
  return 130;
}

// The report and the exit status.
int report(const TryOptions& opt, const Outcome& o, std::ostream& out, std::ostream& err) {
  std::vector<std::string> why = failures(o);
  if (why.empty() && !o.checked && !o.run.ended_as_expected) why.push_back(o.run.stopped.empty() ? "nothing was checked" : o.run.stopped);
  int status = why.empty() ? 0 : 1;
  write_text(opt, o, why, out);
  // A report that cannot be written is told, with the system's reason; the verdict above
  // stands and so does its status.
  std::string unwritten = opt.json.empty() ? "" : write_json(opt, o, why, status);
  if (!unwritten.empty()) tell(err, show_path(opt.json) + ": " + unwritten + "; the verdict above stands");
  return status;
}

}  // namespace

int try_installer(const TryOptions& opt, std::ostream& out, std::ostream& err) {
  SignalGuard guard;
  struct sigaction ignore = {}, old_pipe;
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &old_pipe);
  struct RestorePipe {
    struct sigaction* old;
    ~RestorePipe() { sigaction(SIGPIPE, old, nullptr); }
  } restore{&old_pipe};

  Outcome o;
  o.run.began = std::chrono::steady_clock::now();
  try {
    make_outputs(opt);
    std::vector<uint8_t> bytes = read_installer(opt, opt.installer, &o.bits);
    InstallWalk walk;  // the command's one session: first the installer's own reading of its names
    walk.read_own_resources(bytes);
    o.names = product_names_text();
    std::vector<std::vector<uint8_t>> old_bytes;
    o.over = !opt.over.empty();
    int old_bits = 0;
    for (const fs::path& old : opt.over) old_bytes.push_back(read_installer(opt, old, &old_bits));
    run_installer(opt, walk, bytes, old_bytes, err, &o);
  } catch (const PackError& e) {
    tell(err, e.what());
    return 2;
  } catch (const Interrupted&) {
    return interrupted(err);
  } catch (const std::exception& e) {
    // The driver or the machine failed in a way the run cannot go on from.
    o.run.stopped = std::string("the run could not go on: ") + e.what();
  }
  if (SignalGuard::pending()) return interrupted(err);
  return report(opt, o, out, err);
}

}  // namespace tvpack
