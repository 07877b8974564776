// talvenor-pack try, the cache's folder: chosen from the environment, made private, and
// checked to be the user's own before anything in it is used.
#include "try/cache_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/errors.h"
#include "try/machine_error.h"

namespace fs = std::filesystem;

namespace tvpack {
namespace {

// A new folder in temp_root that only this user can enter, for this run alone.
CacheFolder private_folder(const fs::path& temp_root, const std::string& why) {
  std::string templ = (temp_root / "talvenor-pack-XXXXXX").string();
  if (mkdtemp(&templ[0]) == nullptr)
    fail_machine("cannot make a private folder in " + show_path(temp_root) + " for the Wine prefix");
  CacheFolder f;
  f.path = templ;
  f.throwaway = true;
  f.note = why + "; the clean Wine prefix is made in " + show_path(f.path) + " for this run alone";
  return f;
}

}  // namespace

std::string distrust(const fs::path& path, bool link_allowed) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return show_path(path) + " cannot be read";
  if (st.st_uid != geteuid()) return show_path(path) + " belongs to another user";
  if (S_ISLNK(st.st_mode)) return link_allowed ? "" : show_path(path) + " is a link";
  if (st.st_mode & (S_IWGRP | S_IWOTH)) return show_path(path) + " can be written by other users";
  return "";
}

std::string tree_distrust(const fs::path& dir) {
  std::string why = distrust(dir);
  if (!why.empty()) return why;
  std::error_code ec;
  fs::recursive_directory_iterator it(dir, fs::directory_options::none, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    why = distrust(it->path(), true);
    if (!why.empty()) return why;
  }
  return ec ? show_path(dir) + " cannot be read whole" : "";
}

CacheFolder cache_folder(const std::string& xdg_cache_home, const std::string& home, const fs::path& temp_root) {
  CacheFolder f;
  if (!xdg_cache_home.empty() || !home.empty()) {
    f.path = (xdg_cache_home.empty() ? fs::path(home) / ".cache" : fs::path(xdg_cache_home)) / "talvenor-pack";
    std::error_code ec;
    fs::create_directories(f.path, ec);
  } else {
    // No home: a folder of the user's own in the shared temporary folder, made 0700 (an
    // existing one is used only when it is still theirs alone).
    f.path = temp_root / ("talvenor-pack-" + std::to_string(geteuid()));
    if (mkdir(f.path.c_str(), 0700) != 0 && errno != EEXIST)
      return private_folder(temp_root, "cannot make " + show_path(f.path));
    struct stat st;
    if (lstat(f.path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & 077) != 0 && st.st_uid == geteuid())
      return private_folder(temp_root, show_path(f.path) + " can be entered by other users");
  }
  std::string why = distrust(f.path);
  return why.empty() ? f : private_folder(temp_root, why);
}

}  // namespace tvpack
