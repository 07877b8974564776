// The installer's own allocation operators and the few throw helpers that the
// standard containers name. The installer is built without exceptions; these keep
// the C++ runtime's exception machinery (and most of its size) out of the stub.
// Running out of memory ends the process, as the standard operators would when
// nothing catches their exception.
#include <cstddef>
#include <cstdlib>
#include <new>

void* operator new(std::size_t size) {
  void* p = std::malloc(size ? size : 1);
  if (p == nullptr) std::abort();
  return p;
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace std {
void __throw_bad_alloc() { std::abort(); }
void __throw_length_error(const char*) { std::abort(); }
void __throw_bad_array_new_length() { std::abort(); }
}  // namespace std
