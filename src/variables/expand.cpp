#include "variables/expand.h"

#include "base/template_token.h"
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
    size_t length = token_length(templ, i);
    if (length == 0 || length > kMaxPathUnits) return false;  // not closed, or too long a name
    char16_t name[kMaxPath] = {};
    for (size_t n = 0; n < length; ++n) name[n] = unit_at(templ, i + n);
    i += length;
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
