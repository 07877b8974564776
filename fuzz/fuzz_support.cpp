#include "fuzz_support.h"

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "package/script.h"
#include "platform/platform.h"
#include "platform/standin/standin.h"
#include "variables/pool.h"
#include "variables/section.h"
#include "variables/table.h"

namespace tvfuzz {
namespace {
std::string g_root;
}

void init_once() {
  if (!g_root.empty()) return;
  char tmpl[] = "/tmp/tvfuzz-XXXXXX";
  const char* dir = mkdtemp(tmpl);
  if (dir == nullptr) std::abort();
  g_root = dir;
  for (const char* sub : {"/C", "/D", "/cwd"}) mkdir((g_root + sub).c_str(), 0777);
  tv::posix::set_root(g_root);
  tv::posix::set_responder([](const std::u16string&, const std::u16string&, unsigned type) {
    return (type & 0xF) == tv::kMbOk ? int(tv::kIdOk) : int(tv::kIdCancel);
  });
}

void reset_state() {
  tv::clear_variable_table();
  tv::clear_title_and_description();
  tv::free_string_pool();
  tv::free_script();
  tv::clear_damage_reason();
}

const std::string& root() { return g_root; }

void empty_drives() {
  for (const char* sub : {"/C", "/D", "/cwd"}) {
    std::string dir = g_root + sub;
    nftw(
        dir.c_str(),
        [](const char* path, const struct stat*, int, struct FTW* ftw) {
          if (ftw->level > 0) remove(path);
          return 0;
        },
        16, FTW_DEPTH | FTW_PHYS);
  }
}

}  // namespace tvfuzz
