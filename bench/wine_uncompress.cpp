// zlib's own uncompress of an installer's package, timed inside a Windows process:
// the reference for the installer's unpacking in the same kind of process (under
// the same Wine). The container is taken out of the stored blob before the clock
// starts; the clock covers allocating the script buffer and uncompress alone.
// Usage: bench_wine_uncompress INSTALLER.exe      prints "uncompress Z -> U bytes: T ms"
#include <windows.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "package/container.h"
#include "base/package_section.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_wine_uncompress INSTALLER.exe\n");
    return 2;
  }
  FILE* f = _wfopen(argv[1], L"rb");
  if (f == nullptr) return 1;
  std::vector<uint8_t> file;
  uint8_t buf[1 << 16];
  for (size_t got; (got = std::fread(buf, 1, sizeof buf, f)) > 0;) file.insert(file.end(), buf, buf + got);
  std::fclose(f);
  tv::PackageView view;
  if (!tv::find_package_in_file(file.data(), file.size(), &view) || view.n < 8) return 1;
  std::vector<uint8_t> container(view.n);
  for (uint32_t i = 0; i < view.n; ++i) container[i] = view.blob[2 * size_t(i)];
  tv::scramble_container(container.data(), view.n, view.key);
  auto le32 = [&](size_t at) {
    return uint32_t(container[at]) | uint32_t(container[at + 1]) << 8 |
           uint32_t(container[at + 2]) << 16 | uint32_t(container[at + 3]) << 24;
  };
  uint32_t z = le32(view.n - 8), u = le32(view.n - 4);

  LARGE_INTEGER freq, t0, t1;
  QueryPerformanceFrequency(&freq);
  QueryPerformanceCounter(&t0);
  uint8_t* script = static_cast<uint8_t*>(std::malloc(size_t(u) + 1));
  uLongf length = u;
  int rc = script ? uncompress(script, &length, container.data(), z) : Z_MEM_ERROR;
  QueryPerformanceCounter(&t1);
  if (rc != Z_OK) return 1;
  std::printf("uncompress %u -> %lu bytes: %.1f ms\n", z, static_cast<unsigned long>(length),
              double(t1.QuadPart - t0.QuadPart) * 1000.0 / double(freq.QuadPart));
  std::free(script);
  return 0;
}
