// Shared set-up for the fuzz targets: a quiet stand-in platform over a private
// temporary root, and a reset of all installer state between inputs.
#pragma once
#include <string>

namespace tvfuzz {

// Creates the temporary root once (with drives C: and D:) and answers every
// message box with Cancel (or OK for an OK-only box).
void init_once();
// Forgets the script, the variable table, the pool's strings and the title and
// description, so that one input cannot leak into the next.
void reset_state();
const std::string& root();
// Removes everything below the drive folders (what an install wrote).
void empty_drives();

}  // namespace tvfuzz
