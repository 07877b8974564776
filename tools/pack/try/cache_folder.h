// talvenor-pack try, the cache's folder: where the clean prefix is kept, and whether a
// folder found there is the user's own (made by them, written by nobody else).
#pragma once
#include <filesystem>
#include <string>

namespace tvpack {

struct CacheFolder {
  std::filesystem::path path;
  bool throwaway = false;  // made for this run alone: removed when it ends
  std::string note;        // why a throwaway one was made ("" for none)
};

// The cache: XDG_CACHE_HOME's talvenor-pack, else HOME's .cache/talvenor-pack, else (HOME
// unset or empty) talvenor-pack-UID in temp_root, made mode 0700. Where that folder is not
// the user's own, a new private folder in temp_root for this run alone. Fails with
// fail_machine() when none can be made.
CacheFolder cache_folder(const std::string& xdg_cache_home, const std::string& home,
                         const std::filesystem::path& temp_root);

// Why path (not followed when a link) cannot be trusted to hold what try made: a link,
// not owned by this user, or writable by its group or others; "" when it can. Links
// inside a tree are judged by their owner only (their mode means nothing).
std::string distrust(const std::filesystem::path& path, bool link_allowed = false);
// The same for dir and everything below it: the first entry found wanting.
std::string tree_distrust(const std::filesystem::path& dir);

}  // namespace tvpack
