// talvenor-pack try, the virtual display: Xvfb on a free display number, no TCP.
#pragma once
#include <string>

#include "try/processes.h"

namespace tvpack {

// Starts Xvfb (1024x768x24) in a group of its own, on the display number it picks
// itself; its display (":N") into *display. Fails with fail_machine() or throws Interrupted.
Child start_virtual_display(std::string* display);

}  // namespace tvpack
