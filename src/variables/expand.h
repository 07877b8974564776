// Variable expansion: every "{Name}" token of a template is replaced by the
// variable's current value. Results of up to 259 units are pooled strings.
#pragma once
#include <cstddef>

#include "base/path_limit.h"

namespace tv {

// The pooled expansion of templ, or null when templ is null, a token is not closed,
// a token names an unknown variable, a token is longer than 259 units, the result
// would be longer than 259 units, or the result cannot be allocated.
char16_t* expand_variables(const char16_t* templ);

// Why a template does not expand: the first thing met, left to right.
enum class ExpandFault {
  kNone,
  kNull,      // no template
  kUnclosed,  // a "{" with no "}" after it
  kUnknown,   // a token that names no variable (or is longer than 259 units)
  kTooLong,   // the result passes 259 units
};
struct ExpandVerdict {
  ExpandFault fault;
  size_t at, units;  // kUnknown: the token ("{Name}") in the template
};

// The expansion into out (kMaxPath units) without pooling it, and its verdict.
ExpandVerdict judge_expansion(const char16_t* templ, char16_t* out);

// The same expansion: false where expand_variables gives null for anything but a lack
// of memory.
inline bool expand_into(const char16_t* templ, char16_t* out) {
  return judge_expansion(templ, out).fault == ExpandFault::kNone;
}

}  // namespace tv
