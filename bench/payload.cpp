#include "payload.h"

#include <cstring>

namespace tvbench {

std::vector<uint8_t> mixed_bytes(size_t size, uint32_t seed) {
  static const char kWords[] =
      "the install script holds every file of the product and its shortcuts; "
      "<html><body><p>Talvenor help</p></body></html> void main() { return 0; } ";
  std::vector<uint8_t> out(size);
  uint32_t x = seed | 1;
  auto next = [&x] {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return x;
  };
  size_t i = 0;
  while (i < size) {
    size_t run = 4096 + next() % 16384;
    if (run > size - i) run = size - i;
    switch (next() % 4) {
      case 0:  // incompressible
        for (size_t k = 0; k < run; ++k) out[i + k] = uint8_t(next());
        break;
      case 1:  // text
        for (size_t k = 0; k < run; ++k) out[i + k] = uint8_t(kWords[(k + x) % (sizeof kWords - 1)]);
        break;
      default:  // structured binary: small integers and zero runs
        for (size_t k = 0; k < run; ++k) out[i + k] = (k % 16 < 10) ? 0 : uint8_t(next() % 8);
        break;
    }
    i += run;
  }
  return out;
}

}  // namespace tvbench
