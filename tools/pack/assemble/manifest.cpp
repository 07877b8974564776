// The install script made from a checked manifest: its sections, the files read as
// they are written in.
#include "assemble/manifest.h"

#include <fstream>
#include <stdexcept>

#include "common/errors.h"
#include "package/writer.h"

namespace fs = std::filesystem;

namespace tvpack {
namespace {

// A file read straight into its place in the script, expected bytes and no more.
void read_whole_file(const fs::path& path, uint64_t expected, uint8_t* into, const fs::path& manifest, int line) {
  std::ifstream in(path, std::ios::binary);
  if (!in) fail_at(manifest, line, "cannot open " + quote(show_path(path)));
  if (expected != 0) in.read(reinterpret_cast<char*>(into), std::streamsize(expected));
  bool short_read = uint64_t(in.gcount()) != expected && expected != 0;
  bool longer = in.peek() != std::char_traits<char>::eof();
  if (short_read || longer)
    fail_at(manifest, line, quote(show_path(path)) + " changed size while it was being packed");
}

}  // namespace

std::u16string shortcut_text(const std::vector<ManifestShortcut>& shortcuts) {
  std::u16string text;
  for (const auto& s : shortcuts) {
    if (!text.empty()) text += u'\n';
    text += u"icon\n" + s.target + u'\n' + s.arguments + u'\n' + s.location;
  }
  return text;
}

namespace {

// The format version and the variables section.
void put_head(const Manifest& m, tv::ScriptWriter& w) {
  w.put_int(m.format_version);
  w.put_int(int32_t(m.variables.size()));
  for (const auto& v : m.variables) {
    w.put_string(v.name);
    w.put_string(v.value);
  }
}

}  // namespace

std::vector<uint8_t> paths_script(const Manifest& m) {
  tv::ScriptWriter w;
  put_head(m, w);
  w.put_int(int32_t(m.files.size()));
  for (const auto& f : m.files) {
    w.put_string(f.destination);
    w.put_int(0);
  }
  w.put_string(shortcut_text(m.shortcuts));
  return w.take();
}

std::vector<uint8_t> build_script(const Manifest& m, const FilesRead& files_read) {
  tv::ScriptWriter w;
  w.reserve(size_t(m.script_size));  // one buffer of U bytes, never moved or copied
  put_head(m, w);
  w.put_int(int32_t(m.files.size()));
  for (const auto& f : m.files) {
    w.put_string(f.destination);
    w.put_int(int32_t(f.size));
    read_whole_file(f.source, f.size, w.put_space(size_t(f.size)), m.path, f.line);
    if (files_read) files_read(size_t(&f - m.files.data()) + 1);
  }
  w.put_string(shortcut_text(m.shortcuts));
  if (w.bytes().size() != m.script_size) throw std::logic_error("the install script's size was planned wrong");
  return w.take();
}

}  // namespace tvpack
