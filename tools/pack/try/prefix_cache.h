// talvenor-pack try, the prefix cache: a clean Wine prefix made once per Wine version
// and architecture, copied for each run with Windows' own programs shared (hard links,
// read-only), and dropped when a run changed one of those.
#pragma once
#include <sys/stat.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "try/processes.h"
#include "try/wine.h"

namespace tvpack {

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

// The clean prefix in cache for wine, made with wineboot in the environment env (its
// WINEPREFIX replaced) when it is not there yet. Fails with fail_machine() or throws Interrupted.
std::filesystem::path cached_prefix(const std::filesystem::path& cache, const Wine& wine,
                                    std::vector<std::string> env, Processes& processes, std::ostream& log);
// Drops the clean prefix (the next run makes it anew); never throws.
void drop_prefix(const std::filesystem::path& cache, const std::filesystem::path& clean);

// Removes a folder and all in it, never following a link; folders a program under
// Wine left without write permission are made writable first.
void remove_tree(const std::filesystem::path& dir);
// Removes what a try that was killed left in dir (NAME-PID..., its process gone).
void remove_stale(const std::filesystem::path& dir, const std::string& name);

}  // namespace tvpack
