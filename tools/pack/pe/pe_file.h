// A PE file parsed once for a command: its layout and its resources, or why each does
// not read, handed on to every reader of the command (inspect, the walk, try).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "pe/pe_image.h"
#include "pe/pe_resources.h"

namespace tvpack {

struct PeFile {
  const std::vector<uint8_t>* bytes = nullptr;  // the file, which must outlive this
  PeLayout layout;                // parse_pe's, when layout_problem is ""
  std::string layout_problem;     // the phrase parse_pe failed with
  std::vector<Resource> resources;
  std::string resources_problem;  // the phrase parse_pe or read_resources failed with
};

// Parses bytes once: never fails (each problem is kept for the reader that needs it).
PeFile parse_pe_file(const std::vector<uint8_t>& bytes);

}  // namespace tvpack
