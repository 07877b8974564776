// A file a user names, read whole into memory.
#pragma once
#include <cstdint>
#include <filesystem>
#include <vector>

namespace tvpack {

// The whole file; throws PackError naming it when it cannot be read.
std::vector<uint8_t> read_file(const std::filesystem::path& path);

}  // namespace tvpack
