// One string of a version resource (VS_VERSIONINFO), read from its bytes: what the
// installer shows of its own version information, with no help from version.dll.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tv {

// The value named key in the first string table of data (size bytes, a version
// resource as it lies in memory) that has one, copied with its NUL into out
// (out_units units). False when there is none, it is empty or longer than out
// holds, or the resource is damaged; nothing is read outside data.
bool find_version_string(const uint8_t* data, size_t size, const char16_t* key, char16_t* out,
                         size_t out_units);

}  // namespace tv
