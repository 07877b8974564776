// talvenor-pack try, the machine: Wine found (wine.cpp), the clean prefix from the
// cache (prefix_cache.cpp) copied for the run with its own drives D: and T: and its own
// HOME, a virtual display when DISPLAY is unset (display.cpp), the environment every
// Windows program of the run gets, and everything ended and removed when the run stops.
#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <fstream>

#include "common/errors.h"
#include "try/cache_folder.h"
#include "try/display.h"
#include "try/machine_error.h"
#include "try/probe32.h"
#include "try/sandbox.h"
#include "try/wine_user.h"

extern char** environ;

namespace fs = std::filesystem;

namespace tvpack {
namespace {

std::string env_or(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != 0 ? v : fallback;
}

}  // namespace

Sandbox::Sandbox(int bits, const std::string& user, std::ostream& log)
    : log_(log), wine_(find_wine(bits)), user_(user) {
  if (bits == 32) runs32_ = 1;  // find_wine probed it
  display_ = env_or("DISPLAY", "");
  if (display_.empty() && on_path("Xvfb").empty())
    fail_machine("DISPLAY is not set and Xvfb is not installed: apt-get install xvfb (or run with a display)");
  std::string home = env_or("HOME", "");
  // Wine's HOME is the run's own: X keeps finding the user's cookie for their display.
  std::string cookie = env_or("XAUTHORITY", home.empty() ? "" : home + "/.Xauthority");
  std::error_code ec;
  if (!cookie.empty() && fs::exists(cookie, ec)) xauthority_ = cookie;
  CacheFolder cache = cache_folder(env_or("XDG_CACHE_HOME", ""), home, env_or("TMPDIR", "/tmp"));
  if (!cache.note.empty()) tell(log_, "try: " + cache.note);
  cache_ = cache.path;
  throwaway_cache_ = cache.throwaway;
}

Sandbox::~Sandbox() { stop(); }

std::vector<std::string> Sandbox::environment() const {
  std::vector<std::string> env;
  static const char* const kReplaced[] = {"WINEPREFIX", "WINEDEBUG", "WINEDLLOVERRIDES", "WINEARCH", "WINELOADER",
                                          "LANG", "LC_ALL", "LANGUAGE", "HOME", "DISPLAY", "XDG_CONFIG_HOME",
                                          "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_DESKTOP_DIR", "WINESERVER",
                                          "XAUTHORITY", "USER", "LOGNAME", "USERNAME"};
  for (char** e = environ; *e != nullptr; ++e) {
    std::string entry = *e;
    std::string name = entry.substr(0, entry.find('='));
    bool replaced = false;
    for (const char* r : kReplaced) replaced = replaced || name == r;
    if (!replaced) env.push_back(entry);
  }
  fs::path home = run_ / "home";
  env.push_back("WINEPREFIX=" + prefix().string());
  env.push_back("WINEDEBUG=-all");
  // No menu entries or file associations in the user's desktop; no Mono or Gecko prompts.
  env.push_back("WINEDLLOVERRIDES=mscoree,mshtml=;winemenubuilder.exe=d");
  env.push_back("LANG=zh_CN.UTF-8");
  env.push_back("LC_ALL=zh_CN.UTF-8");
  env.push_back("HOME=" + home.string());
  env.push_back("XDG_CONFIG_HOME=" + (home / ".config").string());
  env.push_back("XDG_DATA_HOME=" + (home / ".local/share").string());
  env.push_back("XDG_CACHE_HOME=" + (home / ".cache").string());
  env.push_back("DISPLAY=" + display_);
  // Wine names the Windows user after USER.
  env.push_back("USER=" + user_);
  env.push_back("LOGNAME=" + user_);
  if (!own_display() && !xauthority_.empty()) env.push_back("XAUTHORITY=" + xauthority_);
  return env;
}

void Sandbox::start(const std::vector<fs::path>& files) {
  fs::path runs = cache_ / "runs";
  fs::create_directories(runs);
  remove_stale(runs, "run-");
  std::string templ = (runs / ("run-" + std::to_string(getpid()) + "-XXXXXX")).string();
  if (mkdtemp(&templ[0]) == nullptr) fail_machine("cannot make a folder in " + show_path(runs));
  run_ = templ;
  fs::create_directories(run_ / "home");
  fs::create_directories(drive_d());
  fs::create_directories(drive_t());
  for (const fs::path& f : files) fs::copy_file(f, drive_t() / f.filename());
  clean_ = cached_prefix(cache_, wine_, environment(), processes_, log_);
  shared_ = copy_prefix(clean_, prefix());
  become_user(prefix(), user_);
  fs::path devices = prefix() / "dosdevices";
  std::error_code ec;
  for (const char* letter : {"d:", "t:", "z:"}) fs::remove(devices / letter, ec);
  // No Z: (the whole host file system): the installer sees only the prefix's drives.
  fs::create_directory_symlink(drive_d(), devices / "d:");
  fs::create_directory_symlink(drive_t(), devices / "t:");
  if (display_.empty()) {
    xvfb_ = start_virtual_display(&display_);
    // No window manager here: Wine draws the captions and frames itself.
    std::ofstream reg(prefix() / "user.reg", std::ios::app);
    reg << "\n[Software\\\\Wine\\\\X11 Driver] 1700000000\n\"Decorated\"=\"N\"\n";
  }
}

bool Sandbox::runs(int bits) const {
  if (bits == 64) return !wine_.wine64.empty();
  if (wine_.wine32.empty()) return false;
  if (runs32_ < 0) runs32_ = kernel_runs_32bit() ? 1 : 0;
  return runs32_ == 1;
}

Child Sandbox::spawn_windows(int bits, const std::string& name, const std::vector<std::string>& args, bool pipes) {
  std::vector<std::string> argv = {bits == 32 ? wine_.wine32 : wine_.wine64, "T:\\" + name};
  argv.insert(argv.end(), args.begin(), args.end());
  return processes_.spawn(argv, environment(), pipes);
}

Child Sandbox::spawn_program(int bits, const std::string& windows_path) {
  return processes_.spawn({bits == 32 ? wine_.wine32 : wine_.wine64, windows_path}, environment(), false);
}

void Sandbox::stop() {
  if (stopped_) return;
  stopped_ = true;
  std::error_code ec;  // nothing thrown from here: this runs in the destructor
  if (!run_.empty() && fs::exists(prefix(), ec)) {
    // Every Wine process of the throwaway prefix, and its server.
    try {
      std::vector<std::string> env = environment();
      for (const char* how : {"-k", "-w"}) {
        Child server = processes_.spawn({wine_.server, how}, env, false);
        processes_.reap(server, 10);
      }
    } catch (const std::exception&) {
    }
  }
  // Whatever is left of the groups it started.
  processes_.kill_all();
  if (xvfb_.pid > 0) {
    Child x = xvfb_;
    xvfb_.pid = -1;
    processes_.end(x);
  }
  // Wine lets a program write Windows' own files (as root, or once it made them
  // writable): one that the run changed changed the clean prefix too, which is dropped.
  fs::path changed = changed_shared_file(shared_);
  if (!changed.empty()) {
    tell(log_, "try: the run changed " + show_path(changed.lexically_relative(clean_)) +
                   " of the clean Wine prefix, which is made anew by the next run");
    drop_prefix(cache_, clean_);
  }
  if (!run_.empty()) remove_tree(run_);
  if (throwaway_cache_) remove_tree(cache_);
}

}  // namespace tvpack
