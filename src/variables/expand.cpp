#include "variables/expand.h"

#include "base/text16.h"
#include "variables/pool.h"
#include "variables/table.h"

namespace tv {

char16_t* expand_variables(const char16_t* templ) {
  char16_t out[kMaxPath];
  return expand_into(templ, out) ? pool_string(out) : nullptr;
}

bool expand_into(const char16_t* templ, char16_t* out) {
  if (templ == nullptr) return false;
  for (size_t i = 0; i < kMaxPath; ++i) out[i] = 0;
  size_t w = 0;  // write position; out[kMaxPath - 1] stays the terminating NUL
  for (size_t i = 0;;) {
    char16_t c = unit_at(templ, i);
    if (c == 0) break;
    if (c != u'{') {
      if (w >= kMaxPath - 1) return false;
      out[w++] = c;
      ++i;
      continue;
    }
    // A token: "{" up to the first "}", braces included.
    char16_t name[kMaxPath] = {};
    size_t n = 0;
    name[n++] = u'{';
    ++i;
    for (;;) {
      char16_t t = unit_at(templ, i);
      if (t == 0) return false;  // not closed
      if (n >= kMaxPath - 1) return false;
      name[n++] = t;
      ++i;
      if (t == u'}') break;
    }
    const char16_t* const* value = find_variable(name);
    if (value == nullptr) return false;
    if (*value != nullptr) {
      for (size_t k = 0;; ++k) {
        char16_t v = unit_at(*value, k);
        if (v == 0) break;
        if (w >= kMaxPath - 1) return false;
        out[w++] = v;
      }
    }
  }
  return true;
}

}  // namespace tv
