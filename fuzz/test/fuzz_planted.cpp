// A fuzz target with planted findings, for the test of the fuzz scripts: "crash" aborts,
// "slow" sleeps 1.5 s while fuzzing (as on a busy machine) but not alone, "still slow" always.
// Inputs are told apart by a hash, so that the fuzzer cannot find the planted ones itself.
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <thread>

static bool fuzzing = false;  // libFuzzer was started on a corpus, not on single files

static uint64_t fnv1a(std::string_view text) {
  uint64_t hash = 14695981039346656037ull;
  for (char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  return hash;
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  for (int i = 1; i < *argc; ++i)
    fuzzing |= std::string_view((*argv)[i]).rfind("-max_total_time=", 0) == 0;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint64_t input = fnv1a({reinterpret_cast<const char*>(data), size});
  if (input == fnv1a("crash")) std::abort();
  if (input == fnv1a("still slow") || (input == fnv1a("slow") && fuzzing))
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  return 0;
}
