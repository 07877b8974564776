// The whole script path on an arbitrary install script: header, variables section
// (first and second reading), files section written into the temporary root, and
// the shortcuts section. Every path stays inside the root.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz_support.h"
#include "install/install.h"
#include "package/script.h"
#include "variables/section.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tvfuzz::init_once();
  if (size > (1u << 20)) return 0;
  // The script as unpacking leaves it: an exact-size heap buffer.
  uint8_t* script = static_cast<uint8_t*>(std::malloc(size ? size : 1));
  if (size) std::memcpy(script, data, size);
  tv::set_script(script, uint32_t(size));
  tv::set_folder_variables();
  tv::rewind_script_cursor();
  if (tv::check_script_version()) {
    tv::saved_cursor() = tv::script_cursor();
    if (tv::read_variables_section(tv::script_cursor(), 0)) {
      tv::run_install_sequence(u"D:\\Kesta\\");
    }
  }
  tvfuzz::reset_state();
  tvfuzz::empty_drives();
  return 0;
}
