// Deterministic payloads for the benchmarks: a mix that compresses like a real
// product (text, repetitive binary, and incompressible bytes).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tvbench {

// `size` bytes of mixed content; the same seed gives the same bytes.
std::vector<uint8_t> mixed_bytes(size_t size, uint32_t seed = 1);

}  // namespace tvbench
