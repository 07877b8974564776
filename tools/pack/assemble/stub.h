// The installer stub: found where the maker's rule says, read and checked, and the
// installer file written from it.
#pragma once
#include <cstdint>
#include <filesystem>
#include <vector>

namespace tvpack {

// The stub when none is given: the first talvenor-setup.exe in the folders of
// beside_maker(self_dir). Throws PackError naming every place tried when there is none.
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

}  // namespace tvpack
