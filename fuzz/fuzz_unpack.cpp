// Unpacking an arbitrary stored blob with an arbitrary key, then reading its
// header and variables section as start-up does.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "package/container.h"
#include "package/script.h"
#include "variables/section.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tvfuzz::init_once();
  if (size < 4) return 0;
  uint32_t key;
  std::memcpy(&key, data, 4);
  // An exact-size copy, so that ASan sees any read past the blob.
  std::vector<uint8_t> blob(data + 4, data + size);
  uint32_t n = static_cast<uint32_t>(blob.size() / 2);
  if (tv::unpack_blob(blob.data(), n, key) == tv::UnpackError::kOk) {
    tv::set_folder_variables();
    tv::rewind_script_cursor();
    if (tv::check_script_version()) {
      tv::saved_cursor() = tv::script_cursor();
      tv::read_variables_section(tv::script_cursor(), 0);
    }
  }
  tvfuzz::reset_state();
  return 0;
}
