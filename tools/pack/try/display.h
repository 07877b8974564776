// talvenor-pack try, the virtual display: Xvfb on a free display number, no TCP.
#pragma once
#include <string>

#include "try/processes.h"

namespace tvpack {

// Starts Xvfb (1024x768x24) in a group of its own, on the display number it picks
// itself; its display (":N") into *display. Throws MachineError or Interrupted.
Child start_virtual_display(std::string* display);

}  // namespace tvpack
