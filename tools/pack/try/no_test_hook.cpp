// The shipped maker's try has no test hook: it runs nothing from its environment (the
// test build's is test_hook.cpp).
#include "try/try.h"

namespace tvpack {

void add_test_hook(TryOptions*) {}

}  // namespace tvpack
