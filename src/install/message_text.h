// Texts of the install sequence's boxes and names, put together in fixed buffers.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tv {

// A text being written into a buffer of cap units; whatever does not fit, with a
// NUL after it, is left out, and the text then says it is cut.
struct TextBuilder {
  char16_t* out;
  size_t cap;
  size_t at;
  bool cut;
};
TextBuilder start_text(char16_t* out, size_t cap);

// Appends text (NUL-terminated; it may sit at any byte offset).
TextBuilder& add(TextBuilder& b, const char16_t* text);
// Appends the first units of text.
TextBuilder& add_units(TextBuilder& b, const char16_t* text, size_t units);
// Appends number in decimal digits.
TextBuilder& add_number(TextBuilder& b, uint32_t number);
// Appends bytes in megabytes (MiB) with one decimal, rounded up or down.
TextBuilder& add_megabytes(TextBuilder& b, uint64_t bytes, bool round_up);

}  // namespace tv
