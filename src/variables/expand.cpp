#include "variables/expand.h"

#include "platform/text16.h"
#include "variables/pool.h"
#include "variables/table.h"

namespace tv {

char16_t* expand_variables(const char16_t* templ) {
  if (templ == nullptr) return nullptr;
  char16_t out[kMaxPath] = {};
  size_t w = 0;  // write position; out[kMaxPath - 1] stays the terminating NUL
  for (size_t i = 0;;) {
    char16_t c = unit_at(templ, i);
    if (c == 0) break;
    if (c != u'{') {
      if (w >= kMaxPath - 1) return nullptr;
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
      if (t == 0) return nullptr;  // not closed
      if (n >= kMaxPath - 1) return nullptr;
      name[n++] = t;
      ++i;
      if (t == u'}') break;
    }
    const char16_t* const* value = find_variable(name);
    if (value == nullptr) return nullptr;
    if (*value != nullptr) {
      for (size_t k = 0;; ++k) {
        char16_t v = unit_at(*value, k);
        if (v == 0) break;
        if (w >= kMaxPath - 1) return nullptr;
        out[w++] = v;
      }
    }
  }
  return pool_string(out);
}

}  // namespace tv
