// A PE file parsed once: the layout, then the resources read over it.
#include "pe/pe_file.h"

#include "common/errors.h"

namespace tvpack {

PeFile parse_pe_file(const std::vector<uint8_t>& bytes) {
  PeFile file;
  file.bytes = &bytes;
  try {
    file.layout = parse_pe(bytes.data(), bytes.size());
  } catch (const PackError& e) {
    file.layout_problem = file.resources_problem = e.what();
    return file;
  }
  try {
    file.resources = read_resources(bytes.data(), bytes.size(), file.layout);
  } catch (const PackError& e) {
    file.resources_problem = e.what();
  }
  return file;
}

}  // namespace tvpack
