// A stand-in installer for the Wine tests: packed as the stub, it finds its own
// package the way the installer does (the loaded image's ".tvpkg" section), unpacks
// it, and has Windows check the file's PE checksum.
//   OK <script length> <CRC-32 of the script in hex>
//   CHECKSUM MATCH|MISMATCH <in the header> <computed>
// Exit status: 0 all well, 1 no package, 2 damaged, 3/4 checksum unreadable/wrong.
#include <windows.h>
#include <imagehlp.h>
#include <zlib.h>

#include <cstdio>

#include "package/container.h"
#include "package/script.h"
#include "platform/platform.h"

int main() {
  const uint8_t* blob = nullptr;
  uint32_t n = 0, key = 0;
  if (!tv::embedded_package(&blob, &n, &key)) {
    std::puts("NO PACKAGE");
    return 1;
  }
  tv::UnpackError error = tv::unpack_blob(blob, n, key);
  if (error != tv::UnpackError::kOk) {
    std::printf("DAMAGED %s\n", tv::describe_unpack_error(error));
    return 2;
  }
  unsigned long crc = crc32(0L, tv::script_start(), tv::script_length());
  std::printf("OK %u %08lx\n", static_cast<unsigned>(tv::script_length()), crc);

  wchar_t self[MAX_PATH];
  DWORD len = GetModuleFileNameW(nullptr, self, MAX_PATH);
  DWORD in_header = 0, computed = 0;
  if (len == 0 || len >= MAX_PATH ||
      MapFileAndCheckSumW(self, &in_header, &computed) != CHECKSUM_SUCCESS) {
    std::puts("CHECKSUM UNREADABLE");
    return 3;
  }
  bool match = in_header == computed;
  std::printf("CHECKSUM %s %08lx %08lx\n", match ? "MATCH" : "MISMATCH",
              static_cast<unsigned long>(in_header), static_cast<unsigned long>(computed));
  return match ? 0 : 4;
}
