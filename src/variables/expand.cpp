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

ExpandVerdict judge_expansion(const char16_t* templ, char16_t* out) {
  if (templ == nullptr) return {ExpandFault::kNull, 0, 0};
  for (size_t i = 0; i < kMaxPath; ++i) out[i] = 0;
  size_t w = 0;  // write position; out[kMaxPath - 1] stays the terminating NUL
  for (size_t i = 0;;) {
    char16_t c = unit_at(templ, i);
    if (c == 0) break;
    if (c != u'{') {
      if (w >= kMaxPath - 1) return {ExpandFault::kTooLong, 0, 0};
      out[w++] = c;
      ++i;
      continue;
    }
    size_t length = token_length(templ, i);
    if (length == 0) return {ExpandFault::kUnclosed, i, 0};
    if (length > kMaxPathUnits) return {ExpandFault::kUnknown, i, length};  // too long a name
    char16_t name[kMaxPath] = {};
    for (size_t n = 0; n < length; ++n) name[n] = unit_at(templ, i + n);
    const char16_t* const* value = find_variable(name);
    if (value == nullptr) return {ExpandFault::kUnknown, i, length};
    i += length;
    if (*value != nullptr) {
      for (size_t k = 0;; ++k) {
        char16_t v = unit_at(*value, k);
        if (v == 0) break;
        if (w >= kMaxPath - 1) return {ExpandFault::kTooLong, 0, 0};
        out[w++] = v;
      }
    }
  }
  return {ExpandFault::kNone, 0, 0};
}

}  // namespace tv
