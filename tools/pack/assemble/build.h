// The build command: an installer made from a manifest, a raw install script or a raw
// stored blob (the package container and blob made here, the stub and the output in
// stub.h).
#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "assemble/compress.h"
#include "assemble/defines.h"
#include "assemble/stub.h"

namespace tvpack {

constexpr uint32_t kDefaultKey = 0x2C7E13A5u;

// A room for the install folder under this many characters is warned of: a folder
// under C:\Users\<name>\AppData\... often takes 40 to 60.
constexpr size_t kLowRoom = 60;

// A key written in decimal or 0x-hex that fits 32 bits; false otherwise.
bool parse_key(const std::string& text, uint32_t* key);

// What a long build reports while it runs (see progress.h).
class BuildProgress {
 public:
  virtual ~BuildProgress() = default;
  virtual void files_read(size_t done, size_t total) = 0;
  virtual void compressed(uint64_t done, uint64_t total) = 0;
};

struct BuildOptions {
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
  size_t room = 0;  // how long the install folder may be (the installer's own check)
};
BuildSummary build_installer(const std::filesystem::path& manifest, const std::filesystem::path& stub,
                             uint32_t key, const std::filesystem::path& out,
                             const BuildOptions& options = BuildOptions());
// A raw install script taken as it is; returns the container length.
uint32_t wrap_script(const std::filesystem::path& script, const std::filesystem::path& stub, uint32_t key,
                     const std::filesystem::path& out, const BuildOptions& options = BuildOptions());
// A raw stored blob embedded as it is (an odd size is refused); returns N.
uint32_t wrap_blob(const std::filesystem::path& blob, const std::filesystem::path& stub, uint32_t key,
                   const std::filesystem::path& out, const BuildOptions& options = BuildOptions());

// The container of a script: compressed (compress.h), with its trailer. The script is
// released once it is compressed, so the maker holds the larger of U + N and 3N.
std::vector<uint8_t> container_from_script(std::vector<uint8_t> script, const BuildOptions& options = BuildOptions());

}  // namespace tvpack
