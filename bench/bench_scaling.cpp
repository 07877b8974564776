// How loading and installing scale with variable count, file count and payload
// size (100 to 100,000). Google Benchmark fits each series; none may grow faster
// than n log n.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "install/install.h"
#include "package/script.h"
#include "package/writer.h"
#include "payload.h"
#include "platform/standin/standin.h"
#include "variables/pool.h"
#include "variables/section.h"
#include "variables/table.h"

namespace {

const uint32_t kKey = 0x2C7E13A5u;

std::string g_root;

void fresh_root() {
  if (g_root.empty()) {
    char tmpl[] = "/tmp/tvscale-XXXXXX";
    g_root = mkdtemp(tmpl);
  }
  std::string cmd = "rm -rf '" + g_root + "'/* && mkdir -p '" + g_root + "/C' '" + g_root +
                    "/D' '" + g_root + "/cwd'";
  if (std::system(cmd.c_str()) != 0) std::abort();
  tv::posix::set_root(g_root);
}

void reset() {
  tv::clear_variable_table();
  tv::clear_title_and_description();
  tv::free_string_pool();
  tv::free_script();
}

std::u16string u16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// n variables, each expanding {App} and a built-in variable.
std::vector<uint8_t> variables_script(int n) {
  tv::ScriptWriter w;
  w.put_int(1);
  w.put_int(n + 1);
  w.put_string(u"{App}");
  w.put_string(u"D:\\Kesta");
  for (int i = 0; i < n; ++i) {
    w.put_string(u16("{V" + std::to_string(i) + "}"));
    w.put_string(u16("{App}\\" + std::to_string(i) + "{Empty}"));
  }
  w.put_int(0);
  w.put_string(u"");
  return w.bytes();
}

// n files of 64 bytes in 1 + n / 100 folders.
std::vector<uint8_t> files_script(int n, size_t file_size) {
  tv::ScriptWriter w;
  w.put_int(1);
  w.put_int(1);
  w.put_string(u"{App}");
  w.put_string(u"D:\\Kesta");
  w.put_int(n);
  std::vector<uint8_t> content = tvbench::mixed_bytes(file_size);
  for (int i = 0; i < n; ++i) {
    w.put_string(u16("{App}\\d" + std::to_string(i / 100) + "\\f" + std::to_string(i)));
    w.put_int(int32_t(content.size()));
    w.put_bytes(content.data(), content.size());
  }
  w.put_string(u"");
  return w.bytes();
}

void run_install(benchmark::State& state, const std::vector<uint8_t>& script) {
  std::vector<uint8_t> container = tv::make_container(script, 1);
  std::vector<uint8_t> blob = tv::make_blob(container, kKey);
  for (auto _ : state) {
    state.PauseTiming();
    fresh_root();
    tv::posix::set_embedded_package(blob.data(), uint32_t(container.size()), kKey);
    state.ResumeTiming();
    if (!tv::load_package() ||
        tv::run_install_sequence(u"D:\\Kesta") != tv::InstallOutcome::kInstalled)
      state.SkipWithError("install failed");
    state.PauseTiming();
    reset();
    state.ResumeTiming();
  }
  state.SetComplexityN(state.range(0));
}

void BM_Variables(benchmark::State& state) { run_install(state, variables_script(int(state.range(0)))); }
void BM_FileCount(benchmark::State& state) { run_install(state, files_script(int(state.range(0)), 64)); }
// Payload size in KiB, in 100 files.
void BM_PayloadKiB(benchmark::State& state) {
  run_install(state, files_script(100, size_t(state.range(0)) * 1024 / 100));
}

}  // namespace

BENCHMARK(BM_Variables)->RangeMultiplier(10)->Range(100, 100000)->Iterations(3)->Complexity()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FileCount)->RangeMultiplier(10)->Range(100, 100000)->Iterations(3)->Complexity()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PayloadKiB)->RangeMultiplier(10)->Range(100, 100000)->Iterations(3)->Complexity()->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
