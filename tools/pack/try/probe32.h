// talvenor-pack try, the 32-bit probe: whether this kernel runs 32-bit x86 programs.
#pragma once

namespace tvpack {

// Whether this kernel executes 32-bit x86 programs (a tiny static ELF is run from a
// file in /tmp, removed at once).
bool kernel_runs_32bit();

}  // namespace tvpack
