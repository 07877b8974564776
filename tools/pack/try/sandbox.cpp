// talvenor-pack try, the machine: Wine for the installer's bits, a clean prefix made
// once and cached (keyed by Wine's version and architecture), a throwaway copy of it
// per run with its own drives D: and T: and its own HOME, a virtual display when
// DISPLAY is unset, and every process started in a group of its own so that each one
// is ended when the run stops, on Ctrl+C too. Nothing outside the cache and the run's
// folder is written (but the 32-bit probe, a file in /tmp removed at once).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <thread>

#include "common/errors.h"
#include "try/try_internal.h"

extern char** environ;

namespace fs = std::filesystem;

namespace tvpack {
namespace {

bool executable(const fs::path& p) { return !p.empty() && access(p.c_str(), X_OK) == 0; }

fs::path on_path(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string all = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  for (;;) {
    size_t colon = all.find(':', start);
    std::string dir = all.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    if (!dir.empty() && executable(fs::path(dir) / name)) return fs::path(dir) / name;
    if (colon == std::string::npos) return {};
    start = colon + 1;
  }
}

std::string env_or(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != 0 ? v : fallback;
}

// Sleeps up to ms, waking early for a signal.
void nap(int ms) {
  pollfd p = {SignalGuard::wake_fd(), POLLIN, 0};
  poll(&p, p.fd >= 0 ? 1 : 0, ms);
  if (SignalGuard::pending()) throw Interrupted();
}

// The first line a program prints within 20 s (version queries); it is then ended.
std::string first_line_of(const std::vector<std::string>& argv) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return "";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  std::string text;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (rc == 0 && text.size() < 4096 && std::chrono::steady_clock::now() < deadline) {
    pollfd p = {fds[0], POLLIN, 0};
    if (poll(&p, 1, 200) <= 0) continue;
    char buf[256];
    ssize_t n = read(fds[0], buf, sizeof buf);
    if (n <= 0) break;
    text.append(buf, size_t(n));
  }
  close(fds[0]);
  if (rc == 0) {
    kill(pid, SIGKILL);  // one that does not end within the time
    waitpid(pid, nullptr, 0);
  }
  return text.substr(0, text.find('\n'));
}

// A name made of letters, digits and ".-_" for the cache's folder.
std::string file_name_part(const std::string& text) {
  std::string out;
  for (char c : text) out += (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-') ? c : '_';
  return out.empty() ? "unknown" : out;
}

// Windows' own programs in a fresh prefix, marked read-only so that runs may share them.
void mark_programs_read_only(const fs::path& windows_dir) {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(windows_dir, ec); it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (ec) break;
    if (!it->is_regular_file(ec) || it->is_symlink(ec)) continue;
    char magic[2] = {};
    std::ifstream in(it->path(), std::ios::binary);
    if (!in.read(magic, 2) || magic[0] != 'M' || magic[1] != 'Z') continue;
    struct stat st;
    if (stat(it->path().c_str(), &st) == 0) chmod(it->path().c_str(), st.st_mode & ~mode_t(0222));
  }
}

// Removes a folder and all in it, never following a link; folders a program under
// Wine left without write permission are made writable first (they stop a user, not root).
void remove_tree(const fs::path& dir) {
  std::error_code ec;
  fs::remove_all(dir, ec);
  if (!ec) return;
  struct stat st;
  auto writable = [&st](const fs::path& p) {
    if (lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) chmod(p.c_str(), 0700);
  };
  writable(dir);
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    writable(it->path());
  fs::remove_all(dir, ec);
}

// Removes what a try that was killed left in dir (NAME-PID..., its process gone).
void remove_stale(const fs::path& dir, const std::string& name) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    std::string file = entry.path().filename().string();
    if (file.compare(0, name.size(), name) != 0) continue;
    pid_t pid = pid_t(std::atol(file.c_str() + name.size()));
    if (pid > 0 && kill(pid, 0) != 0 && errno == ESRCH) remove_tree(entry.path());
  }
}

}  // namespace

bool kernel_runs_32bit() {
  // An ELF32 header, one program header, and: mov eax,1; xor ebx,ebx; int 0x80 (exit 0).
  static const unsigned char probe[] = {
      0x7f, 'E',  'L',  'F',  1,    1,    1,    0,    0,    0,    0,    0,    0,    0,    0,    0,
      2,    0,    3,    0,    1,    0,    0,    0,    0x54, 0x80, 0x04, 0x08, 0x34, 0,    0,    0,
      0,    0,    0,    0,    0,    0,    0,    0,    0x34, 0,    0x20, 0,    1,    0,    0,    0,
      0,    0,    0,    0,    1,    0,    0,    0,    0,    0,    0,    0,    0,    0x80, 0x04, 0x08,
      0,    0x80, 0x04, 0x08, 0x60, 0,    0,    0,    0x60, 0,    0,    0,    5,    0,    0,    0,
      0,    0x10, 0,    0,    0xb8, 1,    0,    0,    0,    0x31, 0xdb, 0xcd, 0x80};
  char path[] = "/tmp/talvenor-probe-XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) return false;
  bool written = write(fd, probe, sizeof probe) == ssize_t(sizeof probe);
  fchmod(fd, 0700);
  close(fd);
  int status = -1;
  if (written) {
    pid_t pid = -1;
    char* argv[] = {path, nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&pid, path, &actions, nullptr, argv, environ) == 0) waitpid(pid, &status, 0);
    posix_spawn_file_actions_destroy(&actions);
  }
  unlink(path);
  return written && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

Sandbox::Sandbox(int bits, std::ostream& log) : log_(log) {
  fs::path wine64 = executable("/usr/lib/wine/wine64") ? fs::path("/usr/lib/wine/wine64") : on_path("wine64");
  fs::path wine32 = executable("/usr/lib/wine/wine") ? fs::path("/usr/lib/wine/wine") : fs::path();
  if (wine64.empty() && wine32.empty() && on_path("wine").empty())
    throw MachineError("Wine is not installed: on Debian, apt-get install wine wine64 (and for 32-bit "
                       "installers: dpkg --add-architecture i386 && apt-get update && apt-get install wine32:i386)");
  wine64_ = wine64.string();
  if (bits == 32) {
    runs32_ = kernel_runs_32bit() ? 1 : 0;
    if (!runs32_)
      throw MachineError("this is a 32-bit installer, and this machine's kernel cannot run 32-bit programs, so "
                         "Wine cannot run it here; the installer itself is fine (try it where 32-bit code runs)");
    if (wine32.empty()) wine32 = on_path("wine");
    if (wine32.empty() || first_line_of({wine32.string(), "--version"}).empty())
      throw MachineError("this is a 32-bit installer and 32-bit Wine is missing: dpkg --add-architecture i386 && "
                         "apt-get update && apt-get install wine32:i386");
    wine_ = wine32_ = wine32.string();
  } else {
    wine32_ = wine32.string();
    if (wine64.empty())
      throw MachineError("64-bit Wine is missing: apt-get install wine64");
    wine_ = wine64.string();
  }
  // The prefix is made by 64-bit Wine where there is one (it runs both kinds).
  arch_ = wine64.empty() ? "win32" : "win64";
  boot_wine_ = wine64.empty() ? wine_ : wine64.string();
  wine_version_ = first_line_of({wine_, "--version"});
  if (wine_version_.empty()) throw MachineError(wine_ + " --version does not answer: Wine is not usable here");
  fs::path server = on_path("wineserver");
  if (server.empty() && executable("/usr/lib/wine/wineserver")) server = "/usr/lib/wine/wineserver";
  if (server.empty()) throw MachineError("wineserver is not installed: apt-get install wine");
  wineserver_ = server.string();
  display_ = env_or("DISPLAY", "");
  if (display_.empty() && on_path("Xvfb").empty())
    throw MachineError("DISPLAY is not set and Xvfb is not installed: apt-get install xvfb (or run with a display)");
  std::string home = env_or("HOME", "");
  // Wine's HOME is the run's own: X keeps finding the user's cookie for their display.
  std::string cookie = env_or("XAUTHORITY", home.empty() ? "" : home + "/.Xauthority");
  std::error_code ec;
  if (!cookie.empty() && fs::exists(cookie, ec)) xauthority_ = cookie;
  cache_ = fs::path(env_or("XDG_CACHE_HOME", home.empty() ? "/tmp" : home + "/.cache")) / "talvenor-pack";
}

Sandbox::~Sandbox() { stop(); }

std::vector<std::string> Sandbox::environment() const {
  std::vector<std::string> env;
  static const char* const kReplaced[] = {"WINEPREFIX", "WINEDEBUG", "WINEDLLOVERRIDES", "WINEARCH", "WINELOADER",
                                          "LANG", "LC_ALL", "LANGUAGE", "HOME", "DISPLAY", "XDG_CONFIG_HOME",
                                          "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_DESKTOP_DIR", "WINESERVER",
                                          "XAUTHORITY"};
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
  if (!own_display() && !xauthority_.empty()) env.push_back("XAUTHORITY=" + xauthority_);
  return env;
}

Child Sandbox::spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, bool pipes) {
  int in[2] = {-1, -1}, out[2] = {-1, -1};
  if (pipes && (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0))
    throw std::runtime_error("cannot make a pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (pipes) {
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  } else {
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  }
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  posix_spawnattr_setpgroup(&attr, 0);
  sigset_t none, defaults;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  sigemptyset(&defaults);
  for (int s : kStopSignals) sigaddset(&defaults, s);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  std::vector<char*> args, envp;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  Child child;
  int rc = posix_spawn(&child.pid, args[0], &actions, &attr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (pipes) {
    close(in[0]);
    close(out[1]);
    child.in = in[1];
    child.out = out[0];
  }
  if (rc != 0) {
    end(child);
    throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
  }
  children_.push_back(child);
  return child;
}

int Sandbox::wait(Child& child, int seconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  for (;;) {
    int status = 0;
    pid_t r = waitpid(child.pid, &status, WNOHANG);
    if (r == child.pid) {
      forget(child.pid);
      child.pid = -1;
      end(child);
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (r < 0 || std::chrono::steady_clock::now() > deadline) {
      end(child);
      return -1;
    }
    nap(50);
  }
}

void Sandbox::end(Child& child) {
  if (child.in >= 0) close(child.in);
  if (child.out >= 0) close(child.out);
  child.in = child.out = -1;
  if (child.pid <= 0) return;
  forget(child.pid);
  kill(-child.pid, SIGTERM);
  for (int i = 0; i < 40; ++i) {
    if (waitpid(child.pid, nullptr, WNOHANG) == child.pid) {
      kill(-child.pid, SIGKILL);
      child.pid = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  kill(-child.pid, SIGKILL);
  waitpid(child.pid, nullptr, 0);
  child.pid = -1;
}

// Waits up to seconds for a child, whatever signal arrived, then ends its group.
void Sandbox::reap(Child& child, int seconds) {
  for (int i = 0; i < seconds * 20 && waitpid(child.pid, nullptr, WNOHANG) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  kill(-child.pid, SIGKILL);
  waitpid(child.pid, nullptr, WNOHANG);
  forget(child.pid);
  child.pid = -1;
}

void Sandbox::forget(pid_t pid) {
  for (size_t i = 0; i < children_.size(); ++i)
    if (children_[i].pid == pid) children_.erase(children_.begin() + long(i));
}

fs::path Sandbox::cached_prefix() {
  fs::path dir = cache_ / ("prefix-" + file_name_part(wine_version_) + "-" + arch_);
  std::error_code ec;
  if (fs::exists(dir / "system.reg", ec)) return dir;
  log_ << "talvenor-pack: making the clean Wine prefix once (" << show_path(dir) << "), about a minute\n";
  remove_stale(cache_, "prefix-making-");
  remove_stale(cache_, "prefix-changed-");
  fs::path temp = cache_ / ("prefix-making-" + std::to_string(getpid()));
  remove_tree(temp);
  fs::create_directories(temp);
  std::vector<std::string> env = environment();
  for (std::string& e : env)
    if (e.compare(0, 11, "WINEPREFIX=") == 0) e = "WINEPREFIX=" + temp.string();
  env.push_back("WINEARCH=" + arch_);
  int rc = -1;
  std::exception_ptr failed;  // Ctrl+C, or Wine could not be started
  try {
    Child boot = spawn({boot_wine_, "wineboot", "-i"}, env, false);
    rc = wait(boot, 300);
    // Its server gone, the prefix is whole (the registry is written last).
    Child settle = spawn({wineserver_, "-w"}, env, false);
    if (wait(settle, 120) != 0 && rc == 0) rc = -1;
  } catch (...) {
    failed = std::current_exception();
  }
  if (failed || rc != 0 || !fs::exists(temp / "system.reg", ec)) {
    Child kill_server = spawn({wineserver_, "-k"}, env, false);
    reap(kill_server, 10);
    remove_tree(temp);
    if (failed) std::rethrow_exception(failed);
    throw MachineError("wineboot could not make a Wine prefix (exit status " + std::to_string(rc) + ")");
  }
  // The profile's folders link to the home folder of the run that made it: folders of
  // the prefix instead.
  std::vector<fs::path> links;
  for (auto it = fs::recursive_directory_iterator(temp / "drive_c", ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
    if (it->is_symlink()) links.push_back(it->path());
  for (const fs::path& link : links) {
    fs::remove(link, ec);
    fs::create_directory(link, ec);
  }
  mark_programs_read_only(temp / "drive_c" / "windows");
  fs::rename(temp, dir, ec);
  if (ec) {  // another try made it meanwhile
    remove_tree(temp);
    if (!fs::exists(dir / "system.reg", ec)) throw MachineError("cannot keep the Wine prefix in " + show_path(dir));
  }
  return dir;
}

void Sandbox::start_display() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("cannot make a pipe");
  // Xvfb picks a free display itself and writes its number to the inherited descriptor.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, 0);
  std::string xvfb = on_path("Xvfb").string();
  const char* argv[] = {xvfb.c_str(), "-displayfd", "3", "-screen", "0", "1024x768x24", "-nolisten", "tcp", nullptr};
  int rc = posix_spawn(&xvfb_.pid, argv[0], &actions, &attr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    xvfb_.pid = -1;
    throw MachineError("Xvfb cannot be started: " + std::string(std::strerror(rc)));
  }
  std::string number;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (number.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd p[2] = {{fds[0], POLLIN, 0}, {SignalGuard::wake_fd(), POLLIN, 0}};
    poll(p, 2, 200);
    if (SignalGuard::pending()) break;
    if (p[0].revents == 0) continue;
    char buf[32];
    ssize_t n = read(fds[0], buf, sizeof buf);
    if (n <= 0) break;
    number.append(buf, size_t(n));
  }
  close(fds[0]);
  if (SignalGuard::pending()) throw Interrupted();
  if (number.find('\n') == std::string::npos) throw MachineError("Xvfb did not start a display in 20 s");
  display_ = ":" + number.substr(0, number.find('\n'));
}

void Sandbox::start(const std::vector<fs::path>& files) {
  fs::path runs = cache_ / "runs";
  fs::create_directories(runs);
  remove_stale(runs, "run-");
  std::string templ = (runs / ("run-" + std::to_string(getpid()) + "-XXXXXX")).string();
  if (mkdtemp(&templ[0]) == nullptr) throw MachineError("cannot make a folder in " + show_path(runs));
  run_ = templ;
  fs::create_directories(run_ / "home");
  fs::create_directories(drive_d());
  fs::create_directories(drive_t());
  for (const fs::path& f : files) fs::copy_file(f, drive_t() / f.filename());
  clean_ = cached_prefix();
  shared_ = copy_prefix(clean_, prefix());
  fs::path devices = prefix() / "dosdevices";
  std::error_code ec;
  for (const char* letter : {"d:", "t:", "z:"}) fs::remove(devices / letter, ec);
  // No Z: (the whole host file system): the installer sees only the prefix's drives.
  fs::create_directory_symlink(drive_d(), devices / "d:");
  fs::create_directory_symlink(drive_t(), devices / "t:");
  if (display_.empty()) {
    start_display();
    // No window manager here: Wine draws the captions and frames itself.
    std::ofstream reg(prefix() / "user.reg", std::ios::app);
    reg << "\n[Software\\\\Wine\\\\X11 Driver] 1700000000\n\"Decorated\"=\"N\"\n";
  }
}

bool Sandbox::runs(int bits) const {
  if (bits == 64) return !wine64_.empty();
  if (wine32_.empty()) return false;
  if (runs32_ < 0) runs32_ = kernel_runs_32bit() ? 1 : 0;
  return runs32_ == 1;
}

Child Sandbox::spawn_windows(int bits, const std::string& name, const std::vector<std::string>& args, bool pipes) {
  std::vector<std::string> argv = {bits == 32 ? wine32_ : wine64_, "T:\\" + name};
  argv.insert(argv.end(), args.begin(), args.end());
  return spawn(argv, environment(), pipes);
}

std::vector<SharedFile> copy_prefix(const fs::path& from, const fs::path& to) {
  std::vector<SharedFile> shared;
  fs::create_directory(to);
  for (auto it = fs::recursive_directory_iterator(from); it != fs::recursive_directory_iterator(); ++it) {
    if (SignalGuard::pending()) throw Interrupted();
    fs::path target = to / it->path().lexically_relative(from);
    struct stat st;
    if (lstat(it->path().c_str(), &st) != 0) throw std::runtime_error("cannot read " + show_path(it->path()));
    if (S_ISLNK(st.st_mode)) {
      fs::copy_symlink(it->path(), target);
    } else if (S_ISDIR(st.st_mode)) {
      fs::create_directory(target);
      chmod(target.c_str(), st.st_mode & 07777);
    } else if (S_ISREG(st.st_mode)) {
      if ((st.st_mode & 0222) == 0 && link(it->path().c_str(), target.c_str()) == 0)
        shared.push_back({it->path(), st});
      else
        fs::copy_file(it->path(), target);
    }
  }
  return shared;
}

fs::path changed_shared_file(const std::vector<SharedFile>& files) {
  for (const SharedFile& f : files) {
    struct stat now;
    // Gone or another file: the clean prefix was made anew meanwhile.
    if (lstat(f.path.c_str(), &now) != 0 || now.st_ino != f.st.st_ino || now.st_dev != f.st.st_dev) continue;
    if (now.st_mode != f.st.st_mode || now.st_size != f.st.st_size || now.st_mtim.tv_sec != f.st.st_mtim.tv_sec ||
        now.st_mtim.tv_nsec != f.st.st_mtim.tv_nsec)
      return f.path;
  }
  return {};
}

void Sandbox::stop() {
  if (stopped_) return;
  stopped_ = true;
  std::vector<Child> started = children_;
  std::error_code ec;  // nothing thrown from here: this runs in the destructor
  if (!run_.empty() && fs::exists(prefix(), ec)) {
    // Every Wine process of the throwaway prefix, and its server.
    try {
      std::vector<std::string> env = environment();
      for (const char* how : {"-k", "-w"}) {
        Child server = spawn({wineserver_, how}, env, false);
        reap(server, 10);
      }
    } catch (const std::exception&) {
    }
  }
  // Whatever is left of the groups it started.
  for (Child& c : started) {
    if (c.pid > 0) kill(-c.pid, SIGKILL);
    if (c.pid > 0) waitpid(c.pid, nullptr, 0);
  }
  children_.clear();
  if (xvfb_.pid > 0) {
    Child x = xvfb_;
    xvfb_.pid = -1;
    end(x);
  }
  // Wine lets a program write Windows' own files (as root, or once it made them
  // writable): one that the run changed changed the clean prefix too, which is dropped.
  fs::path changed = changed_shared_file(shared_);
  if (!changed.empty()) {
    log_ << "talvenor-pack: try: the run changed " << show_path(changed.lexically_relative(clean_))
         << " of the clean Wine prefix, which is made anew by the next run\n";
    fs::path dropped = cache_ / ("prefix-changed-" + std::to_string(getpid()));
    fs::rename(clean_, dropped, ec);
    if (!ec) remove_tree(dropped);
  }
  if (!run_.empty()) remove_tree(run_);
}

}  // namespace tvpack
