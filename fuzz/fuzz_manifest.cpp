// The maker's manifest reader on arbitrary text: every problem is a PackError whose
// lines (at most 20 and a count of the rest) each name the manifest, never a crash or
// another exception. The manifest sits
// in a private folder with a few small source files; sources that leave that
// folder are passed over, so a [[tree]] cannot walk the whole machine.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <toml++/toml.h>

#include "common/errors.h"
#include "fuzz_support.h"
#include "assemble/manifest.h"

namespace fs = std::filesystem;

namespace {

fs::path g_dir;

void init_dir() {
  if (!g_dir.empty()) return;
  g_dir = fs::path(tvfuzz::root()) / "manifest";
  fs::create_directories(g_dir / "data" / "sub");
  std::ofstream(g_dir / "a.txt") << "a";
  std::ofstream(g_dir / "data" / "b.bin") << "bb";
  std::ofstream(g_dir / "data" / "sub" / "c") << "";
}

// True when every source in the text stays below the manifest's folder.
bool sources_stay_inside(const std::string& text) {
  toml::table parsed;
  try {
    parsed = toml::parse(text);
  } catch (const toml::parse_error&) {
    return true;  // the reader reports the syntax error itself
  }
  for (const char* kind : {"file", "tree"}) {
    const toml::array* entries = parsed[kind].as_array();
    if (entries == nullptr) continue;
    for (const toml::node& entry : *entries) {
      const toml::table* t = entry.as_table();
      if (t == nullptr) continue;
      std::optional<std::string> source = (*t)["source"].value<std::string>();
      if (!source) continue;
      fs::path p(*source);
      // "$" too: a build-time value (${NAME}) could put any path in.
      if (p.is_absolute() || source->find("..") != std::string::npos || source->empty() ||
          (*source)[0] == '~' || source->find('$') != std::string::npos)
        return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tvfuzz::init_once();
  init_dir();
  std::string text(reinterpret_cast<const char*>(data), size);
  if (!sources_stay_inside(text)) return 0;
  fs::path manifest = g_dir / "manifest.toml";
  std::ofstream(manifest, std::ios::binary | std::ios::trunc) << text;
  try {
    tvpack::Manifest m = tvpack::load_manifest(manifest);
    tvpack::build_script(m);
  } catch (const tvpack::PackError& e) {
    std::string what = e.what();
    const std::string named = tvpack::show_path(manifest) + ":";
    size_t lines = 0;
    for (size_t at = 0, end; at <= what.size(); at = end + 1, ++lines) {
      end = std::min(what.find('\n', at), what.size());
      if (what.compare(at, named.size(), named) != 0) std::abort();
    }
    if (lines > tvpack::ErrorList::kShown + 1) std::abort();
  }
  tvfuzz::reset_state();
  return 0;
}
