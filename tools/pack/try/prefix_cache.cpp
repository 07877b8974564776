// talvenor-pack try, the prefix cache: a clean prefix made once with wineboot (keyed by
// Wine's version and architecture), its profile folders made folders of its own and
// Windows' own programs read-only; each run's copy shares those programs with it, and a
// run that changed one drops the clean prefix. Nothing outside the cache is written.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <exception>
#include <fstream>

#include "common/errors.h"
#include "try/cache_folder.h"
#include "try/machine_error.h"
#include "try/prefix_cache.h"
#include "try/signals.h"

namespace fs = std::filesystem;

namespace tvpack {
namespace {

// A name made of letters, digits and ".-_" for the cache's folder.
std::string file_name_part(const std::string& text) {
  std::string out;
  for (char c : text) out += (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-') ? c : '_';
  return out.empty() ? "unknown" : out;
}

// A fresh prefix written by nobody but its maker, whatever the umask it was made under
// (a prefix that others can write is not used: see tree_distrust).
void make_private(const fs::path& prefix) {
  std::error_code ec;
  struct stat st;
  for (auto it = fs::recursive_directory_iterator(prefix, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    if (lstat(it->path().c_str(), &st) == 0 && !S_ISLNK(st.st_mode))
      chmod(it->path().c_str(), st.st_mode & ~mode_t(S_IWGRP | S_IWOTH));
  if (lstat(prefix.c_str(), &st) == 0) chmod(prefix.c_str(), st.st_mode & ~mode_t(S_IWGRP | S_IWOTH));
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

}  // namespace

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

void remove_stale(const fs::path& dir, const std::string& name) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    std::string file = entry.path().filename().string();
    if (file.compare(0, name.size(), name) != 0) continue;
    pid_t pid = pid_t(std::atol(file.c_str() + name.size()));
    if (pid > 0 && kill(pid, 0) != 0 && errno == ESRCH) remove_tree(entry.path());
  }
}

fs::path cached_prefix(const fs::path& cache, const Wine& wine, std::vector<std::string> env,
                       Processes& processes, std::ostream& log) {
  fs::path dir = cache / ("prefix-" + file_name_part(wine.version) + "-" + wine.arch);
  std::error_code ec;
  if (fs::exists(dir / "system.reg", ec)) {
    // Only a prefix this user made and nobody else can have changed since.
    std::string why = tree_distrust(dir);
    if (why.empty()) return dir;
    tell(log, "the cached Wine prefix is not this user's own (" + why + "): it is made anew");
    drop_prefix(cache, dir);
  }
  tell(log, "making the clean Wine prefix once (" + show_path(dir) + "), up to half a minute");
  remove_stale(cache, "prefix-making-");
  remove_stale(cache, "prefix-changed-");
  fs::path temp = cache / ("prefix-making-" + std::to_string(getpid()));
  remove_tree(temp);
  fs::create_directories(temp);
  for (std::string& e : env)
    if (e.compare(0, 11, "WINEPREFIX=") == 0) e = "WINEPREFIX=" + temp.string();
  env.push_back("WINEARCH=" + wine.arch);
  int rc = -1;
  std::exception_ptr failed;  // Ctrl+C, or Wine could not be started
  try {
    Child boot = processes.spawn({wine.boot, "wineboot", "-i"}, env, false);
    rc = processes.wait(boot, 300);
    // Its server gone, the prefix is whole (the registry is written last).
    Child settle = processes.spawn({wine.server, "-w"}, env, false);
    if (processes.wait(settle, 120) != 0 && rc == 0) rc = -1;
  } catch (...) {
    failed = std::current_exception();
  }
  if (failed || rc != 0 || !fs::exists(temp / "system.reg", ec)) {
    Child kill_server = processes.spawn({wine.server, "-k"}, env, false);
    processes.reap(kill_server, 10);
    remove_tree(temp);
    if (failed) std::rethrow_exception(failed);
    fail_machine("wineboot could not make a Wine prefix (exit status " + std::to_string(rc) + ")");
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
  make_private(temp);
  fs::rename(temp, dir, ec);
  if (ec) {  // another try made it meanwhile
    remove_tree(temp);
    if (!fs::exists(dir / "system.reg", ec) || !tree_distrust(dir).empty())
      fail_machine("cannot keep the Wine prefix in " + show_path(dir));
  }
  return dir;
}

void drop_prefix(const fs::path& cache, const fs::path& clean) {
  std::error_code ec;
  fs::path dropped = cache / ("prefix-changed-" + std::to_string(getpid()));
  fs::rename(clean, dropped, ec);
  if (!ec) remove_tree(dropped);
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

}  // namespace tvpack
