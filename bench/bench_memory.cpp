// Peak memory of unpacking against the package's N (container) and U (script).
// Each package is unpacked in a fresh process that maps the stored blob from a file,
// as a running installer has it mapped with its image; the process reports its peak
// resident set before and after unpacking.
// Usage: bench_memory [MB ...]        (the sizes of the script, U)
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "package/container.h"
#include "package/script.h"
#include "package/writer.h"
#include "payload.h"

namespace {

const uint32_t kKey = 0x2C7E13A5u;

long peak_kib() {
  struct rusage ru;
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;
}

// Child: map the blob, touch it (the loader maps the whole image), unpack.
int unpack_file(const char* path, uint32_t n) {
  int fd = open(path, O_RDONLY);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) return 2;
  const uint8_t* blob = static_cast<const uint8_t*>(
      mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0));
  if (blob == MAP_FAILED) return 2;
  volatile uint8_t sum = 0;
  for (off_t i = 0; i < st.st_size; i += 4096) sum = uint8_t(sum + blob[i]);
  long before = peak_kib();
  if (tv::unpack_blob(blob, n, kKey) != tv::UnpackError::kOk) return 3;
  long after = peak_kib();
  std::printf("%ld %ld %u\n", before, after, tv::script_length());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--unpack") == 0)
    return unpack_file(argv[2], uint32_t(std::strtoul(argv[3], nullptr, 10)));
  std::vector<size_t> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::strtoul(argv[i], nullptr, 10));
  if (sizes.empty()) sizes = {8, 32, 128};
  std::printf("%8s %9s %9s %12s %12s %12s\n", "U (MiB)", "N (MiB)", "2N (MiB)", "peak (MiB)",
              "growth (MiB)", "growth / U");
  for (size_t mb : sizes) {
    std::string path = "/tmp/tv-bench-memory-" + std::to_string(getpid()) + ".blob";
    uint32_t n;
    {
      std::vector<uint8_t> container = tv::make_container(tvbench::mixed_bytes(mb << 20, 3), 6);
      n = uint32_t(container.size());
      std::vector<uint8_t> blob = tv::make_blob(container, kKey);
      FILE* f = std::fopen(path.c_str(), "wb");
      if (!f || std::fwrite(blob.data(), blob.size(), 1, f) != 1 || std::fclose(f) != 0) return 1;
    }
    std::string cmd = std::string("'") + argv[0] + "' --unpack '" + path + "' " + std::to_string(n);
    FILE* p = popen(cmd.c_str(), "r");
    long before = 0, after = 0;
    unsigned u = 0;
    if (!p || std::fscanf(p, "%ld %ld %u", &before, &after, &u) != 3) return 1;
    pclose(p);
    unlink(path.c_str());
    std::printf("%8zu %9.1f %9.1f %12.1f %12.1f %12.2f\n", mb, n / 1048576.0, 2.0 * n / 1048576.0,
                after / 1024.0, (after - before) / 1024.0, (after - before) / 1024.0 / double(mb));
  }
  return 0;
}
