// Text in uppercase, unit by unit, by the one case table (base/upcase.h).
#include "common/upcase.h"

namespace tvpack {

std::u16string upcase(std::u16string text) {
  for (char16_t& c : text) c = tv::upcase_unit(c);
  return text;
}

}  // namespace tvpack
