// talvenor-pack try, the run from start to report: the installer and the UI driver
// found and checked, the machine set up, the dialogs driven, the result checked against
// the package while the finish dialog is up, everything ended, then the report (text,
// and JSON with --json) and the exit status.
#include <signal.h>

#include "common/beside_maker.h"
#include "common/errors.h"
#include "common/read_file.h"
#include "line_escape.h"
#include "pe/package_section.h"
#include "pe/pe_image.h"
#include "base/text16.h"
#include "try/try_internal.h"

namespace fs = std::filesystem;

namespace tvpack {
namespace {

const char kDriverName[] = "talvenor-ui-driver.exe";

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
    if (bits == 0) throw MachineError(show_path(o.driver) + " is not a Windows program");
    if (!sandbox.runs(bits))
      throw MachineError(show_path(o.driver) + " is a " + std::to_string(bits) + "-bit driver, which cannot run here" +
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
  throw MachineError("no UI driver (" + std::string(kDriverName) + ") that runs here" +
                     (tried.empty() ? "" : ": found " + tried) +
                     "; build it (cmake --build --preset win64 --target talvenor-ui-driver) or give --driver");
}

// Everything that needs the machine; the sandbox is gone (every process ended, the
// throwaway folder removed) when this returns or throws.
void run_installer(const TryOptions& opt, const std::vector<uint8_t>& bytes, std::ostream& err, Outcome* o) {
  Sandbox sandbox(o->bits, err);
  std::pair<fs::path, int> driver_file = find_driver(opt, sandbox, o->bits);
  sandbox.start({opt.installer, driver_file.first});
  o->wine = sandbox.wine_version();
  o->display = sandbox.display();
  o->xvfb = sandbox.own_display();
  DriverSession driver(sandbox, driver_file.second, driver_file.first.filename().string());
  TryRun& run = o->run;
  read_shell_folders(driver, &run);
  std::string name = opt.installer.filename().string();
  if (!reach_install_dialog(driver, sandbox, opt.screenshots, name, opt.timeout, &run)) return;
  if (!reach_finish_dialog(driver, sandbox, opt.screenshots, opt.folder, opt.timeout, &run)) return;
  if (opt.before_check) opt.before_check(sandbox);
  // The .lnk files read back as the shell reads them, through the driver.
  auto read_shortcut = [&driver](const std::u16string& link, std::string* target, std::string* args) {
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
  o->check = check_installation(bytes, run.shell_folders, opt.folder.empty() ? run.offered : run.typed,
                                sandbox.prefix(), read_shortcut);
  o->checked = true;
  answer_finish_dialog(driver, opt.run, &run);
}

// The installer read and checked to be one, and the screenshots' folder made; throws
// PackError.
std::vector<uint8_t> read_installer(const TryOptions& opt, int* bits) {
  std::vector<uint8_t> bytes = read_file(opt.installer);
  *bits = pe_bits(bytes);
  if (*bits == 0) fail(opt.installer, "is not a Windows program, so not an installer");
  if (!has_package_section(bytes))
    fail(opt.installer, "is not a Talvenor installer: it carries no package section (.tvpkg)");
  if (!opt.screenshots.empty()) {
    std::error_code ec;
    fs::create_directories(opt.screenshots, ec);
    if (!fs::is_directory(opt.screenshots, ec)) fail(opt.screenshots, "cannot be made as a folder");
  }
  return bytes;
}

int interrupted(std::ostream& err) {
  err << "talvenor-pack: try: interrupted; every process it started has been ended\n";
  SignalGuard::raise_pending();
  return 130;
}

// The report and the exit status.
int report(const TryOptions& opt, const Outcome& o, std::ostream& out, std::ostream& err) {
  std::vector<std::string> why = failures(o);
  if (why.empty() && !o.checked) why.push_back(o.run.stopped.empty() ? "nothing was checked" : o.run.stopped);
  int status = why.empty() ? 0 : 1;
  write_text(opt, o, why, out);
  if (!opt.json.empty()) {
    try {
      write_json(opt, o, why, status);
    } catch (const PackError& e) {
      err << "talvenor-pack: " << e.what() << "\n";
      return 2;
    }
  }
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
    std::vector<uint8_t> bytes = read_installer(opt, &o.bits);
    run_installer(opt, bytes, err, &o);
  } catch (const PackError& e) {
    err << "talvenor-pack: " << e.what() << "\n";
    return 2;
  } catch (const MachineError& e) {
    err << "talvenor-pack: try: " << e.what() << "\n";
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
