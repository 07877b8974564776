// The folder a file the user names as an output goes into (build -o, try --json), made
// before any work, so that a run never fails at its end for want of it.
#pragma once
#include <filesystem>

namespace tvpack {

// Makes the folder that file is to be written into, with every folder above it;
// throws PackError naming file and the system's reason when that cannot be done.
void make_output_folder(const std::filesystem::path& file);

}  // namespace tvpack
