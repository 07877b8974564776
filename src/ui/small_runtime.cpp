// The installer's own allocation operators and the few throw helpers that the
// standard containers name. The installer is built without exceptions; these keep
// the C++ runtime's exception machinery (and most of its size) out of the stub.
// Running out of memory ends the process, as the standard operators would when
// nothing catches their exception. Also zlib's crc32, without its tables, and the C
// runtime's math-error hook.
#include <zlib.h>

#include <cstddef>
#include <cstdlib>
#include <new>

#include "package/crc32.h"

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

// zlib's inflate names crc32 for gzip streams only; defining it here keeps zlib's
// crc32 member, 8 KiB with its tables, out of the stub.
extern "C" uLong ZEXPORT crc32(uLong crc, const Bytef* buf, uInt len) {
  return tv::crc32_bitwise(static_cast<uint32_t>(crc), buf, len);
}

// The runtime's default math-error hook formats and prints a message for each kind of
// error; the installer does no floating-point math, and its own hook (which asks for
// the default handling) keeps those messages out of the stub.
struct _exception;
extern "C" int __cdecl _matherr(struct _exception*) { return 0; }
