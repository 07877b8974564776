// talvenor-pack try, a snapshot of the prefix's drives C: (but C:\windows) and D:: size
// and modification time of each file, never following a link, to list what an upgrade
// changed besides what it was to change.
#include "try/snapshot.h"

#include <sys/stat.h>

#include "common/errors.h"

namespace fs = std::filesystem;

namespace tvpack {
namespace {

// The drives' real folders and their letters.
std::vector<std::pair<fs::path, char>> drives(const fs::path& prefix) {
  std::vector<std::pair<fs::path, char>> out;
  for (char letter : {'c', 'd'}) {
    std::error_code ec;
    fs::path root = fs::canonical(prefix / "dosdevices" / (std::string(1, letter) + ":"), ec);
    if (!ec) out.push_back({root, char(letter - 'a' + 'A')});
  }
  return out;
}

bool below_any(const fs::path& p, const std::set<fs::path>& skip) {
  for (fs::path at = p; !at.empty() && at != at.parent_path(); at = at.parent_path())
    if (skip.count(at) != 0) return true;
  return false;
}

}  // namespace

Snapshot take_snapshot(const fs::path& prefix) {
  Snapshot shot;
  for (const auto& drive : drives(prefix)) {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(drive.first, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
      if (drive.second == 'C' && it.depth() == 0 && it->path().filename() == "windows") {
        it.disable_recursion_pending();
        continue;
      }
      struct stat st;
      if (lstat(it->path().c_str(), &st) != 0) continue;
      shot[it->path()] = {S_ISDIR(st.st_mode), uintmax_t(st.st_size),
                          int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
    }
  }
  return shot;
}

std::vector<std::string> changes(const fs::path& prefix, const Snapshot& before, const Snapshot& after,
                                 const std::set<fs::path>& skip) {
  std::vector<std::string> out;
  auto say = [&](const fs::path& p, const char* what) {
    if (!below_any(p, skip)) out.push_back(windows_path_of(prefix, p) + " " + what);
  };
  for (const auto& [path, was] : before) {
    auto now = after.find(path);
    if (was.folder) continue;
    if (now == after.end())
      say(path, "removed");
    else if (now->second.size != was.size || now->second.modified != was.modified)
      say(path, "changed");
  }
  for (const auto& [path, is] : after)
    if (!is.folder && before.count(path) == 0) say(path, "added");
  return out;
}

std::vector<std::string> moved_whole(const fs::path& prefix, const Snapshot& before, const Snapshot& after,
                                     const fs::path& from, const fs::path& to) {
  std::vector<std::string> out;
  std::set<fs::path> seen;
  for (const auto& [path, was] : before) {
    fs::path rel = path.lexically_relative(from);
    if (was.folder || rel.empty() || *rel.begin() == "..") continue;
    fs::path now = to / rel;
    seen.insert(now);
    auto it = after.find(now);
    if (it == after.end())
      out.push_back(windows_path_of(prefix, now) + " is missing");
    else if (it->second.size != was.size || it->second.modified != was.modified)
      out.push_back(windows_path_of(prefix, now) + " differs from what was in the old folder");
  }
  for (const auto& [path, is] : after) {
    fs::path rel = path.lexically_relative(to);
    if (!is.folder && !rel.empty() && *rel.begin() != ".." && seen.count(path) == 0)
      out.push_back(windows_path_of(prefix, path) + " was not in the old folder");
  }
  return out;
}

std::string windows_path_of(const fs::path& prefix, const fs::path& host) {
  for (const auto& drive : drives(prefix)) {
    fs::path rel = host.lexically_relative(drive.first);
    if (rel.empty() || *rel.begin() == "..") continue;
    std::string out = std::string(1, drive.second) + ":";
    for (const fs::path& part : rel)
      if (part != ".") out += "\\" + printable(part.string());
    return rel == "." ? out + "\\" : out;
  }
  return show_path(host);
}

}  // namespace tvpack
