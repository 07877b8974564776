// inspect of any file a user hands it: the file parsed once and every reader handed
// the parse; it lists or refuses, never crashes; and the maker finds the package
// where the installer's own reader (the base's) finds it, or neither does.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "base/package_section.h"
#include "common/errors.h"
#include "fuzz_support.h"
#include "pe/package_section.h"
#include "pe/pe_file.h"
#include "read/inspect.h"

namespace {

// The base's reader and the maker's layout agree on the package and where it lies.
void check_same_package(const std::vector<uint8_t>& bytes) {
  tvpack::PeFile file = tvpack::parse_pe_file(bytes);
  if (!file.layout_problem.empty()) return;
  tv::PackageView base, maker;
  bool by_base = tv::find_package_in_file(bytes.data(), bytes.size(), &base);
  const tvpack::PeSection* section = tvpack::find_package_section(file.layout);
  bool by_maker = section != nullptr && tv::package_in_section(bytes.data(), bytes.size(), *section, false, &maker);
  if (by_base != by_maker) std::abort();
  if (by_base && (base.blob != maker.blob || base.n != maker.n || base.key != maker.key)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tvfuzz::init_once();
  std::vector<uint8_t> bytes(data, data + size);
  check_same_package(bytes);
  std::ostringstream out;
  try {
    tvpack::inspect_bytes(bytes, out);
  } catch (const tvpack::PackError&) {
    // refused with a message, as the maker's main tells it
  }
  tvfuzz::reset_state();
  return 0;
}
