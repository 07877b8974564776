// Making the installer: the package container and blob, the stub with its package
// section, and the output written through a temporary file beside it.
#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "compress.h"
#include "defines.h"

namespace tvpack {

constexpr uint32_t kDefaultKey = 0x2C7E13A5u;

// A key written in decimal or 0x-hex that fits 32 bits; false otherwise.
bool parse_key(const std::string& text, uint32_t* key);

// The stub when none is given: the first talvenor-setup.exe found beside the maker
// (self_dir, a build folder), in <prefix>/share/talvenor/ of an installed maker (found
// from self_dir, so a moved prefix works), or in build/win32/ under the current folder
// (a checkout). Throws PackError naming every place tried when there is none.
std::filesystem::path default_stub(const std::filesystem::path& self_dir);

// An installer stub, read and checked (a PE image with room for the package section).
struct Stub {
  std::filesystem::path path;
  std::vector<uint8_t> bytes;
};
// Throws PackError naming the stub when it cannot be used.
Stub load_stub(const std::filesystem::path& path);

// Writes the installer: the stub with a ".tvpkg" section holding the header for
// (n, key) and the blob. Refusals name the stub; write failures name out. Nothing is
// left at out (or beside it) on failure.
void write_installer(const Stub& stub, const std::vector<uint8_t>& blob, uint32_t n, uint32_t key,
                     const std::filesystem::path& out);

// What a long build reports while it runs (see progress.h).
class BuildProgress {
 public:
  virtual ~BuildProgress() = default;
  virtual void files_read(size_t done, size_t total) = 0;
  virtual void compressed(uint64_t done, uint64_t total) = 0;
};

struct PackOptions {
  int level = kDefaultLevel;             // kMinLevel..kMaxLevel (compress.h)
  BuildProgress* progress = nullptr;     // none when null
  // Told each warning of the manifest (one line) as soon as it is read.
  std::function<void(const std::string&)> warning;
  Defines defines;  // -D NAME=VALUE of the command line (build only)
};

// The commands. Each checks everything it can before the expensive steps and throws
// PackError (one line naming the file) on failure, leaving nothing at out.
struct BuildSummary {
  size_t files = 0;
  size_t shortcuts = 0;
  uint64_t script_size = 0;
  uint32_t container_size = 0;
};
BuildSummary build_installer(const std::filesystem::path& manifest, const std::filesystem::path& stub,
                             uint32_t key, const std::filesystem::path& out,
                             const PackOptions& options = PackOptions());
// A raw install script taken as it is; returns the container length.
uint32_t wrap_script(const std::filesystem::path& script, const std::filesystem::path& stub, uint32_t key,
                     const std::filesystem::path& out, const PackOptions& options = PackOptions());
// A raw stored blob embedded as it is (an odd size is refused); returns N.
uint32_t wrap_blob(const std::filesystem::path& blob, const std::filesystem::path& stub, uint32_t key,
                   const std::filesystem::path& out);

// The blob of a script: compressed (compress.h) with its trailer, scrambled, interleaved.
// Sets *n to the container length. The script is released once it is compressed.
// A 32-bit installer holds its image (the stub and the stored blob, 2N bytes) and
// the unpacked script (U bytes) in 2 GiB of address space, each in one contiguous
// piece beside the system's DLLs and heap: 2N + U may be at most 1 GiB.
constexpr uint64_t kMaxInstallerMemory = 1ull << 30;
// Why a package of container N and script U bytes is too large ("" when it is not).
std::string installer_memory_problem(uint64_t n, uint64_t u);

std::vector<uint8_t> blob_from_script(std::vector<uint8_t> script, uint32_t key, uint32_t* n,
                                      const PackOptions& options = PackOptions());

}  // namespace tvpack
