// The checks that the install button runs before anything is moved or written (the
// folder as typed, every path, the room on the drive), on a package of 20,000 files
// in 50 folders (as bench_install's small files, about 64 MB of install script),
// against the whole install of that package through the stand-in platform into a
// real folder.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <string>

#include "install/folder_check.h"
#include "install/install.h"
#include "install/path_check.h"
#include "install/space_check.h"
#include "install/write_probe.h"
#include "package/script.h"
#include "package/writer.h"
#include "platform/platform.h"
#include "payload.h"
#include "platform/standin/standin.h"
#include "variables/pool.h"
#include "variables/section.h"
#include "variables/table.h"

namespace {

const uint32_t kKey = 0x2C7E13A5u;
const int kFiles = 20000;

std::u16string u16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// {App} and {Data} = {App}\data, the files below {Data}, a shortcut on the desktop.
std::vector<uint8_t> package_script() {
  tv::ScriptWriter w;
  w.put_int(1);
  w.put_int(2);
  for (const char16_t* s : {u"{App}", u"D:\\Kesta", u"{Data}", u"{App}\\data"}) w.put_string(s);
  w.put_int(kFiles);
  for (int i = 0; i < kFiles; ++i) {
    std::vector<uint8_t> content = tvbench::mixed_bytes(200 + size_t(i) * 7919 % 6000, uint32_t(i + 7));
    w.put_string(u16("{Data}\\d" + std::to_string(i % 50) + "\\f" + std::to_string(i) + ".dat"));
    w.put_int(int32_t(content.size()));
    w.put_bytes(content.data(), content.size());
  }
  w.put_string(u"icon\n{Data}\\d0\\f0.dat\n\n{Desktop}\\Talvenor");
  return w.bytes();
}

struct Package {
  std::vector<uint8_t> container, blob;
  Package() : container(tv::make_container(package_script(), 1)), blob(tv::make_blob(container, kKey)) {}
};

const Package& package() {
  static Package p;
  return p;
}

std::string fresh_root() {
  static std::string root;
  if (root.empty()) {
    char tmpl[] = "/tmp/tvpathcheck-XXXXXX";
    root = mkdtemp(tmpl);
  }
  std::string cmd = "rm -rf '" + root + "'/* && mkdir -p '" + root + "/C' '" + root + "/D' '" + root + "/cwd'";
  if (std::system(cmd.c_str()) != 0) std::abort();
  return root;
}

void load() {
  tv::clear_variable_table();
  tv::clear_title_and_description();
  tv::free_string_pool();
  tv::free_script();
  tv::posix::set_embedded_package(package().blob.data(), uint32_t(package().container.size()), kKey);
  if (!tv::load_package()) std::abort();
}

void BM_PathCheck(benchmark::State& state) {
  tv::posix::set_root(fresh_root());
  load();
  for (auto _ : state) {
    unsigned room = 0;
    if (tv::check_install_paths(u"D:\\Kesta", &room) != tv::PathCheck::kFits)
      state.SkipWithError("the check refused the package");
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kFiles);
}

// The folder's shape, its drive and the shell's own folders, then the files' total
// against the space free (plenty: no box).
void BM_FolderAndSpaceCheck(benchmark::State& state) {
  tv::posix::set_root(fresh_root());
  tv::posix::set_free_space(u'D', int64_t(1) << 40);
  load();
  for (auto _ : state) {
    if (!tv::check_install_folder(u"D:\\Kesta", u"D:\\Kesta") ||
        !tv::confirm_free_space(u"D:\\Kesta"))
      state.SkipWithError("the check refused the folder");
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kFiles);
}

// The right to write: a folder made and removed again in the deepest existing part
// of the folder, and beside the folder when it exists (here it does: an old version).
void BM_WriteCheck(benchmark::State& state) {
  tv::posix::set_root(fresh_root());
  load();
  tv::create_directory(u"D:\\Kesta");
  for (auto _ : state) {
    if (!tv::check_folder_writable(u"D:\\Kesta", u"D:\\Kesta"))
      state.SkipWithError("the check refused the folder");
  }
}

void BM_Install(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    tv::posix::set_root(fresh_root());
    load();
    state.ResumeTiming();
    if (tv::run_install_sequence(u"D:\\Kesta") != tv::InstallOutcome::kInstalled)
      state.SkipWithError("install failed");
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kFiles);
}

}  // namespace

BENCHMARK(BM_PathCheck)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FolderAndSpaceCheck)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteCheck)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Install)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
