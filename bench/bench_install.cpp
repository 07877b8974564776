// Installing a large mixed payload (a few large files and many small ones) through
// the stand-in platform into a real folder, against `tar -xzf` of the same files on
// the same disk, in one run. Prints the medians and the ratio (target: at most 1.0).
// Usage: bench_install [WORK_DIR] [TOTAL_MB] [SMALL_FILES] [ROUNDS]
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "install/install.h"
#include "package/script.h"
#include "package/writer.h"
#include "payload.h"
#include "platform/standin/standin.h"
#include "variables/pool.h"
#include "variables/section.h"
#include "variables/table.h"

namespace {

struct Payload {
  std::vector<std::string> names;  // relative, with '/'
  std::vector<std::vector<uint8_t>> contents;
};

Payload make_payload(size_t total_mb, size_t small_files) {
  Payload p;
  size_t small_total = 0;
  for (size_t i = 0; i < small_files; ++i) {
    size_t size = 200 + (i * 7919) % 6000;
    p.names.push_back("data/d" + std::to_string(i % 50) + "/f" + std::to_string(i) + ".dat");
    p.contents.push_back(tvbench::mixed_bytes(size, uint32_t(i + 7)));
    small_total += size;
  }
  size_t large_total = total_mb * 1000000 > small_total ? total_mb * 1000000 - small_total : 0;
  for (int i = 0; i < 4; ++i) {
    p.names.push_back("bin/large" + std::to_string(i) + ".bin");
    p.contents.push_back(tvbench::mixed_bytes(large_total / 4, uint32_t(1000 + i)));
  }
  return p;
}

std::vector<uint8_t> make_script(const Payload& p) {
  tv::ScriptWriter w;
  w.put_int(1);
  w.put_int(1);
  w.put_string(u"{App}");
  w.put_string(u"D:\\Kesta");
  w.put_int(int32_t(p.names.size()));
  for (size_t i = 0; i < p.names.size(); ++i) {
    std::u16string path = u"{App}\\";
    for (char c : p.names[i]) path.push_back(c == '/' ? u'\\' : char16_t(c));
    w.put_string(path);
    w.put_int(int32_t(p.contents[i].size()));
    w.put_bytes(p.contents[i].data(), p.contents[i].size());
  }
  w.put_string(u"");
  return w.bytes();
}

void run(const std::string& cmd) {
  if (std::system(cmd.c_str()) != 0) {
    std::fprintf(stderr, "failed: %s\n", cmd.c_str());
    std::exit(1);
  }
}

// mkdir -p of the folder that holds path.
void make_parents(const std::string& path) {
  for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1))
    mkdir(path.substr(0, at).c_str(), 0777);
}

// Writes back what the last step wrote and, where allowed (root), empties the kernel's
// caches, so that no step starts with more cached directory entries or dirty pages
// than the other; the tar archive is then read back in, as the package is in memory.
// Then it waits a few seconds: a virtual machine may hand memory freed a moment ago
// back to its host (free page reporting waits about 2 s), and a step that found the
// previous step's memory still at hand would be charged less than a new process.
void settle(const std::string& work) {
  run("sync");
  if (std::system("echo 3 > /proc/sys/vm/drop_caches 2>/dev/null") == 0)
    run("cat '" + work + "/payload.tgz' > /dev/null");
  run("sleep 3");
}

// CPU seconds (user + system) used so far by this process or by its waited-for children.
double cpu_seconds(int who) {
  struct rusage u;
  getrusage(who, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

std::vector<double> write_times(const std::vector<double>& whole, const std::vector<double>& unpack) {
  std::vector<double> out;
  for (size_t i = 0; i < whole.size(); ++i) out.push_back(whole[i] - unpack[i]);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  std::string work = argc > 1 ? argv[1] : "build/bench-install";
  size_t total_mb = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 200;
  size_t small = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 10000;
  int rounds = argc > 4 ? std::atoi(argv[4]) : 3;

  run("rm -rf '" + work + "' && mkdir -p '" + work + "/src'");
  Payload p = make_payload(total_mb, small);
  size_t bytes = 0;
  for (size_t i = 0; i < p.names.size(); ++i) {
    std::string path = work + "/src/" + p.names[i];
    make_parents(path);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(p.contents[i].data()), std::streamsize(p.contents[i].size()));
    bytes += p.contents[i].size();
  }
  run("tar -C '" + work + "/src' -czf '" + work + "/payload.tgz' .");
  std::vector<uint8_t> container = tv::make_container(make_script(p), 6);
  std::vector<uint8_t> blob = tv::make_blob(container, 0x2C7E13A5u);
  std::printf("payload: %zu files, %.1f MB; tar.gz %s; package container %.1f MB\n",
              p.names.size(), bytes / 1e6, "(gzip -6)", container.size() / 1e6);

  std::vector<double> tar_times, install_times, unpack_times, tar_cpu, install_cpu;
  for (int r = 0; r < rounds; ++r) {
    // Each round writes into new folders, and nothing is deleted until the end: ext4
    // slows the creation of new files for a while after many deletions (it avoids
    // recently freed inodes), which would charge one round's cleanup to the next.
    std::string tar_dir = work + "/tar" + std::to_string(r), root = work + "/root" + std::to_string(r);
    run("mkdir -p '" + tar_dir + "' '" + root + "/C' '" + root + "/D' '" + root + "/cwd'");
    settle(work);
    // The two take turns going first.
    for (int step = 0; step < 2; ++step) {
      if ((step + r) % 2 == 0) {
        double c0 = cpu_seconds(RUSAGE_CHILDREN);
        auto t0 = std::chrono::steady_clock::now();
        run("tar -C '" + tar_dir + "' -xzf '" + work + "/payload.tgz'");
        tar_times.push_back(seconds_since(t0));
        tar_cpu.push_back(cpu_seconds(RUSAGE_CHILDREN) - c0);
      } else {
        tv::posix::set_root(root);
        tv::posix::set_embedded_package(blob.data(), uint32_t(container.size()), 0x2C7E13A5u);
        double c0 = cpu_seconds(RUSAGE_SELF);
        auto t0 = std::chrono::steady_clock::now();
        bool loaded = tv::load_package();
        unpack_times.push_back(seconds_since(t0));
        if (!loaded ||
            tv::run_install_sequence(u"D:\\Kesta") != tv::InstallOutcome::kInstalled) {
          std::fprintf(stderr, "install failed\n");
          return 1;
        }
        install_times.push_back(seconds_since(t0));
        install_cpu.push_back(cpu_seconds(RUSAGE_SELF) - c0);
        tv::clear_variable_table();
        tv::free_string_pool();
        tv::free_script();
      }
      settle(work);
    }
  }
  for (int r = 0; r < rounds; ++r)
    std::printf("round %d: tar %.3f s (CPU %.3f s), install %.3f s (CPU %.3f s; unpacking %.3f s)%s\n",
                r + 1, tar_times[r], tar_cpu[r], install_times[r], install_cpu[r], unpack_times[r],
                r % 2 == 0 ? "" : ", installed first");
  double t = median(tar_times), i = median(install_times), u = median(unpack_times);
  std::printf("tar -xzf: %.3f s   install: %.3f s (unpacking %.3f s, writing %.3f s)   "
              "ratio install/tar: %.2f   (medians of %d rounds)\n",
              t, i, u, median(write_times(install_times, unpack_times)), i / t, rounds);
  std::printf("CPU time (user + system; tar's with gzip's): tar %.3f s   install %.3f s\n",
              median(tar_cpu), median(install_cpu));
  run("rm -rf '" + work + "'");
  return 0;
}
