// The manifest's [[file]] and [[tree]] tables: each source a regular file below 2 GiB
// (a tree's files in the order of their paths, walked in tree_walk.cpp), each
// destination checked.
#include <algorithm>

#include "build/manifest_tables.h"
#include "build/tree_walk.h"
#include "common/errors.h"
#include "platform/text16.h"

namespace fs = std::filesystem;

namespace tvpack {
namespace {

uint64_t source_size(const fs::path& manifest, const fs::path& source, int line, const std::string& what) {
  std::error_code ec;
  fs::file_status st = fs::status(source, ec);
  if (!fs::exists(st))
    fail_at(manifest, line, what + " source " + quote(show_path(source)) + " does not exist");
  if (!fs::is_regular_file(st))
    fail_at(manifest, line, what + " source " + quote(show_path(source)) + " is not a regular file");
  uint64_t size = fs::file_size(source, ec);
  if (ec) fail_at(manifest, line, what + " source " + quote(show_path(source)) + ": " + ec.message());
  if (size > kMaxFileSize)
    fail_at(manifest, line, what + " source " + quote(show_path(source)) + " is " + std::to_string(size) +
                               " bytes; files of 2 GiB (2147483648 bytes) or more cannot be packed");
  return size;
}

void add_file(const fs::path& src, const std::u16string& dest, int source_line, int dest_line,
              const std::string& what, Manifest* m, Destinations* destinations) {
  ManifestFile f;
  f.source = src;
  f.destination = dest;
  f.size = source_size(m->path, src, source_line, what);
  f.line = dest_line;
  destinations->check(dest, dest_line, what);
  m->files.push_back(f);
}

void add_tree(const fs::path& src, const std::u16string& dest, int source_line, int dest_line, Manifest* m,
              Destinations* destinations) {
  std::error_code ec;
  if (!fs::is_directory(src, ec))
    fail_at(m->path, source_line, "[[tree]] source " + quote(show_path(src)) + " is not a folder");
  expand_or_fail(m->path, dest, dest_line, "[[tree]] destination");
  std::vector<std::vector<std::string>> found = walk_tree(m->path, source_line, src);
  if (found.empty())
    fail_at(m->path, source_line, "[[tree]] source " + quote(show_path(src)) + " holds no files");
  for (const auto& parts : found) {
    fs::path file = src;
    std::u16string target = dest;
    for (const std::string& part : parts) {
      file /= utf8_path(part);
      std::u16string name = tv::utf8_to_u16(part);
      if (name.find_first_of(u"{}") != std::u16string::npos)
        fail_at(m->path, source_line, "[[tree]] file " + quote(show_path(file)) +
                                          " has a brace in its name, which the install script "
                                          "would read as a variable");
      if (target.empty() || target.back() != u'\\') target += u'\\';
      target += name;
    }
    add_file(file, target, source_line, dest_line, "[[tree]] file " + quote(show_path(file)) + ":", m,
             destinations);
  }
}

// A [[file]] or [[tree]] table and where it stands.
struct Entry {
  int line;
  const toml::table* table;
  bool tree;
};

}  // namespace

void read_files(const toml::table& root, Manifest* m) {
  // [[file]] and [[tree]] entries in the order the manifest lists them.
  std::vector<Entry> entries;
  for (const toml::table* t : tables(m->path, root, "file")) entries.push_back({line_of(*t), t, false});
  for (const toml::table* t : tables(m->path, root, "tree")) entries.push_back({line_of(*t), t, true});
  std::stable_sort(entries.begin(), entries.end(),
                   [](const Entry& a, const Entry& b) { return a.line < b.line; });
  fs::path base = m->path.parent_path();
  Destinations destinations(m);
  for (const Entry& e : entries) {
    const char* kind = e.tree ? "tree" : "file";
    TableReader r(m->path, *e.table, std::string("[[") + kind + "]]");
    r.only({"source", "destination"});
    int source_line = 0, dest_line = 0;
    std::u16string source = r.text("source", true, &source_line);
    std::u16string dest = r.text("destination", true, &dest_line);
    fs::path src = base / utf8_path(tv::u16_to_utf8(source));
    if (e.tree)
      add_tree(src, dest, source_line, dest_line, m, &destinations);
    else
      add_file(src, dest, source_line, dest_line, "[[file]]", m, &destinations);
  }
}

}  // namespace tvpack
