// Reading an installer back with the installer's own code: the package section,
// unpacking, and the sections of the install script.
#pragma once
#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace tvpack {

// Prints what the installer file carries to out. Returns "" when the package reads
// cleanly, else why it is damaged (one phrase; what could be read is printed).
std::string inspect_file(const std::filesystem::path& file, std::ostream& out);

// What the installer's texts call the product and the folder name its browse button
// and empty folder box use, two lines, as the installer reads them of the installer
// that an InstallWalk has open.
std::string product_names_text();

// The same for installer bytes already in memory.
std::string inspect_bytes(const std::vector<uint8_t>& bytes, std::ostream& out);

}  // namespace tvpack
