// The one rule for finding what ships with the maker.
#include "common/beside_maker.h"

#include <initializer_list>

#include "common/errors.h"

namespace fs = std::filesystem;

namespace tvpack {

// The current folder is not looked in: what a maker uses must not change with the
// folder it is run from (a stray build/ folder in a vendor's project would win).
std::vector<fs::path> beside_maker(const fs::path& self_dir) {
  if (self_dir.empty()) return {};
  // TV_STUB_DIR_FROM_BIN: the installed stub's folder relative to the installed maker's.
  std::vector<fs::path> folders;
  for (const fs::path& folder : {self_dir, self_dir / utf8_path(TV_STUB_DIR_FROM_BIN), self_dir / ".." / "win32"}) {
    fs::path normal = folder.lexically_normal();
    bool seen = false;  // the 32-bit build's own folder is its ../win32/
    for (const fs::path& f : folders) seen = seen || f == normal;
    if (!seen) folders.push_back(normal);
  }
  return folders;
}

const char* const kBesideMakerText =
    "  - the maker's own folder,\n"
    "  - ../share/talvenor/ from it (an installed maker),\n"
    "  - ../win32/ from it (a source build: build/win32/ beside build/native/)";

}  // namespace tvpack
