// Texts put together in fixed buffers: nothing is written past the buffer.
#include "install/message_text.h"

#include "base/text16.h"

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

TextBuilder& add_number(TextBuilder& b, uint32_t number) {
  char16_t digits[12] = {};
  size_t n = 11;
  do digits[--n] = char16_t(u'0' + number % 10); while ((number /= 10) != 0);
  return add(b, digits + n);
}

// Tenths of a MiB by shifts alone: a 32-bit program has no 64-bit division of its own,
// and the runtime's costs the installer some 500 bytes. Past 400 TiB the text says
// 429496729.5 MB; no installer's files come near, and a drive with that much free is
// never short.
TextBuilder& add_megabytes(TextBuilder& b, uint64_t bytes, bool round_up) {
  uint64_t rest = (bytes & 0xFFFFF) * 10;  // the part below one MiB, times ten
  uint64_t tenths = (bytes >> 20) * 10 + (rest >> 20) + (round_up && (rest & 0xFFFFF) != 0);
  uint32_t shown = tenths > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(tenths);
  add_number(b, shown / 10);
  char16_t decimal[3] = {u'.', char16_t(u'0' + shown % 10), 0};
  add(b, decimal);
  return add(b, u" MB");
}

}  // namespace tv
