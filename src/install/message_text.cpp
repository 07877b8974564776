// Texts put together in fixed buffers: nothing is written past the buffer.
#include "install/message_text.h"

#include "platform/text16.h"

namespace tv {

TextBuilder start_text(char16_t* out, size_t cap) {
  if (cap > 0) out[0] = 0;
  return {out, cap, 0, cap == 0};
}

TextBuilder& add_units(TextBuilder& b, const char16_t* text, size_t units) {
  for (size_t i = 0; i < units && !b.cut; ++i) {
    if (b.at + 1 >= b.cap) {
      b.cut = true;
      break;
    }
    b.out[b.at++] = unit_at(text, i);
    b.out[b.at] = 0;
  }
  return b;
}

TextBuilder& add(TextBuilder& b, const char16_t* text) { return add_units(b, text, u16len(text)); }

TextBuilder& add_number(TextBuilder& b, uint64_t number) {
  char16_t digits[24] = {};
  size_t n = 23;
  do digits[--n] = char16_t(u'0' + number % 10); while ((number /= 10) != 0);
  return add(b, digits + n);
}

// Tenths of a MiB: the whole MiB first, so that no product overflows.
TextBuilder& add_megabytes(TextBuilder& b, uint64_t bytes, bool round_up) {
  constexpr uint64_t kMiB = 1u << 20;
  uint64_t rest = (bytes % kMiB) * 10;
  uint64_t tenths = bytes / kMiB * 10 + rest / kMiB + (round_up && rest % kMiB != 0 ? 1 : 0);
  add_number(b, tenths / 10);
  char16_t decimal[3] = {u'.', char16_t(u'0' + tenths % 10), 0};
  add(b, decimal);
  return add(b, u" MB");
}

}  // namespace tv
