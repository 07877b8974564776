// talvenor-pack try, a snapshot of the prefix's drives: every file and folder of drive
// C: (but Windows' own folder) and drive D:, to tell what an installer changed.
#pragma once
#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace tvpack {

struct Entry {
  bool folder = false;
  uintmax_t size = 0;
  int64_t modified = 0;  // nanoseconds
};
// Host path (below the drives' real folders) -> what was there.
using Snapshot = std::map<std::filesystem::path, Entry>;

// The drives of the prefix as they are now; links are recorded, never followed.
Snapshot take_snapshot(const std::filesystem::path& prefix);

// The files added, removed or changed from before to after, but those below a folder
// of skip or named in skip: one line each ("D:\\x.txt added").
std::vector<std::string> changes(const std::filesystem::path& prefix, const Snapshot& before, const Snapshot& after,
                                 const std::set<std::filesystem::path>& skip);

// Whether the folder from (a host path) of before lies whole at to in after: every file
// below it there with its size and time, nothing added; one line for each difference.
std::vector<std::string> moved_whole(const std::filesystem::path& prefix, const Snapshot& before,
                                     const Snapshot& after, const std::filesystem::path& from,
                                     const std::filesystem::path& to);

// The Windows path of a host path below a drive of the prefix ("" for none).
std::string windows_path_of(const std::filesystem::path& prefix, const std::filesystem::path& host);

}  // namespace tvpack
