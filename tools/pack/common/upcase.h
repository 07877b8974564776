// Names compared as Windows compares them (base/upcase.h, the one case table). Used
// for the manifest's destinations and by extract.
#pragma once
#include <string>

#include "base/upcase.h"

namespace tvpack {

using tv::upcase_unit;
std::u16string upcase(std::u16string text);

}  // namespace tvpack
