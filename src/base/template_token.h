// A "{Name}" token of a template: one rule for the installer's expansion and the maker.
#pragma once
#include <cstddef>

#include "base/text16.h"

namespace tv {

// The length of the token that starts with the "{" at templ[at]: up to the first "}"
// after it, both braces counted. 0 when no "}" follows before the NUL (not closed).
inline size_t token_length(const char16_t* templ, size_t at) {
  for (size_t n = 1;; ++n) {
    char16_t c = unit_at(templ, at + n);
    if (c == 0) return 0;
    if (c == u'}') return n + 1;
  }
}

}  // namespace tv
