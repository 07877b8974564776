// Variable expansion: every "{Name}" token of a template is replaced by the
// variable's current value. Results of up to 259 units are pooled strings.
#pragma once
#include "base/path_limit.h"

namespace tv {

// The pooled expansion of templ, or null when templ is null, a token is not closed,
// a token names an unknown variable, a token is longer than 259 units, the result
// would be longer than 259 units, or the result cannot be allocated.
char16_t* expand_variables(const char16_t* templ);

// The same expansion into out (kMaxPath units) without pooling it: false where
// expand_variables gives null for anything but a lack of memory.
bool expand_into(const char16_t* templ, char16_t* out);

}  // namespace tv
