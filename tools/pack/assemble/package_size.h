// Whether a package of this size can be packed here and held by the installer: the
// ceilings of limits.h, said with how far a package is over them.
#pragma once
#include <cstdint>
#include <string>

namespace tvpack {

// Why a script of u bytes is refused ("" when it is not): over the installer's
// ceiling, or over what this maker (pointer_bytes 4: a 32-bit build) can hold. Known
// before anything is compressed.
std::string script_size_problem(uint64_t u, unsigned pointer_bytes = sizeof(void*));
// Why a package of container n bytes is refused ("" when it is not): its stored blob
// (2n) over the ceiling. Known as soon as the container is.
std::string package_size_problem(uint64_t n);
// The one-line note for a package that 32-bit Windows cannot hold ("" when it can).
std::string needs_64bit_windows(uint64_t n, uint64_t u);

}  // namespace tvpack
