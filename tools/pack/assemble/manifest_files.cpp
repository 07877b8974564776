// The manifest's [[file]] and [[tree]] tables: each source a regular file below 2 GiB
// (a tree's files in the order of their paths, walked in source_tree.cpp), each
// destination checked.
#include <algorithm>

#include "assemble/defines.h"
#include "assemble/manifest_tables.h"
#include "assemble/source_tree.h"
#include "common/errors.h"
#include "common/folder_names.h"
#include "common/upcase.h"
#include "base/text16.h"

namespace fs = std::filesystem;

namespace tvpack {
namespace {

// What the folder of a source that does not exist holds that may be the one meant: a
// name that differs only in case (Linux tells them apart, Windows would not), else the
// nearest name; "" when none, or when the folder is not there either.
std::string source_suggestion(const fs::path& source) {
  std::map<std::u16string, std::string> names = names_by_case(source.parent_path());
  std::string name = source.filename().u8string();
  auto same = names.find(upcase(tv::utf8_to_u16(name)));
  if (same != names.end())
    return "; its folder has " + quote(same->second) + ", which differs only in case (names here are case-sensitive)";
  std::set<std::string> listed;
  for (const auto& n : names) listed.insert(n.second);
  std::string nearest = nearest_name(name, listed);
  return nearest.empty() ? "" : "; did you mean " + quote(nearest) + "?";
}

// The source's size; nothing when it cannot be packed (told at line).
std::optional<uint64_t> source_size(Reading* reading, const fs::path& source, int line, const std::string& what) {
  std::string named = what + " source " + quote(show_path(source));
  std::error_code ec;
  fs::file_status st = fs::status(source, ec);
  uint64_t size = fs::is_regular_file(st) ? fs::file_size(source, ec) : 0;
  if (!fs::exists(st))
    reading->error(line, named + " does not exist" + source_suggestion(source) +
                             escape_hint(tv::utf8_to_u16(show_path(source))));
  else if (!fs::is_regular_file(st))
    reading->error(line, named + " is not a regular file");
  else if (ec)
    reading->error(line, named + ": " + ec.message());
  else if (size > kMaxFileSize)
    reading->error(line, named + " is " + std::to_string(size) +
                             " bytes; files of 2 GiB (2147483648 bytes) or more cannot be packed");
  else
    return size;
  return std::nullopt;
}

// One file of the files section. Without a destination (refused) only its source is
// checked; without a source (refused) only its destination.
void add_file(const std::optional<fs::path>& src, const std::optional<Placing>& placing, int source_line,
              const std::string& what, Reading* reading, Destinations* destinations) {
  std::optional<uint64_t> size = src ? source_size(reading, *src, source_line, what) : std::nullopt;
  bool placed = placing && destinations->check(*placing);
  // A shortcut to a file whose source was refused is no mistake of its own.
  if (!size && placed) reading->refused_destinations.push_back(placing->destination);
  if (!size || !placed) return;
  ManifestFile f;
  f.source = *src;
  f.destination = placing->destination;
  f.size = *size;
  f.line = placing->line;
  f.what = placing->what;
  reading->m->files.push_back(f);
}

// The destination below dest of a tree's file (its names below the source), and
// *file its path; *braced is the path of its first name with a brace, which the
// install script would read as a variable (empty when none).
std::u16string tree_target(const fs::path& src, std::u16string dest, const std::vector<std::string>& parts,
                           fs::path* file, fs::path* braced) {
  *file = src;
  braced->clear();
  for (const std::string& part : parts) {
    *file /= utf8_path(part);
    std::u16string name = tv::utf8_to_u16(part);
    if (braced->empty() && name.find_first_of(u"{}") != std::u16string::npos) *braced = *file;
    if (dest.empty() || dest.back() != u'\\') dest += u'\\';
    dest += name;
  }
  return dest;
}

// A [[tree]]'s files, each as a [[file]] where the tree stands. A destination refused
// leaves the sources to check; a folder with a brace is told once for its files.
void add_tree(const fs::path& src, const std::optional<std::u16string>& dest, int source_line, int dest_line,
              Reading* reading, Destinations* destinations) {
  std::error_code ec;
  if (!fs::is_directory(src, ec))
    return reading->error(source_line, "[[tree]] source " + quote(show_path(src)) + " is not a folder");
  bool dest_ok = dest && destinations->check_folder(*dest, dest_line);
  size_t told = reading->errors.count();
  std::vector<std::vector<std::string>> found = walk_tree(&reading->errors, source_line, src);
  if (found.empty() && reading->errors.count() == told)
    reading->error(source_line, "[[tree]] source " + quote(show_path(src)) + " holds no files");
  fs::path file, braced, last_braced;
  for (const auto& parts : found) {
    std::u16string target = tree_target(src, dest.value_or(u""), parts, &file, &braced);
    if (!braced.empty()) {
      if (braced != last_braced)
        reading->error(source_line, "[[tree]] file " + quote(show_path(braced)) +
                                        " has a brace in its name, which the install script would read as a variable");
      last_braced = braced;
      continue;
    }
    std::string what = "[[tree]] file " + quote(show_path(file)) + ":";
    std::optional<Placing> placing;
    if (dest_ok) placing = Placing{target, dest_line, what, file, false};
    add_file(file, placing, source_line, what, reading, destinations);
  }
}

// A [[file]] or [[tree]] table and where it stands.
struct Entry {
  int line;
  const toml::table* table;
  bool tree;
};

// [[file]] and [[tree]] entries in the order the manifest lists them.
std::vector<Entry> entries_of(Reading* reading, const toml::table& root) {
  std::vector<Entry> entries;
  for (bool tree : {false, true}) {
    auto found = tables(reading, root, tree ? "tree" : "file");
    for (const toml::table* t : found.value_or(std::vector<const toml::table*>()))
      entries.push_back({line_of(*t), t, tree});
  }
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.line < b.line; });
  return entries;
}

}  // namespace

void read_files(Reading* reading, const toml::table& root) {
  fs::path base = reading->path().parent_path();
  Destinations destinations(reading);
  for (const Entry& e : entries_of(reading, root)) {
    const char* kind = e.tree ? "[[tree]]" : "[[file]]";
    TableReader r(reading, *e.table, kind);
    r.only({"source", "destination"});
    int source_line = 0, dest_line = 0;
    std::optional<std::u16string> source = r.text("source", true, &source_line);
    std::optional<std::u16string> dest = r.text("destination", true, &dest_line);
    std::optional<fs::path> src;
    if (source) src = base / utf8_path(tv::u16_to_utf8(*source));
    if (e.tree) {
      if (src) add_tree(*src, dest, source_line, dest_line, reading, &destinations);
      else if (dest) destinations.check_folder(*dest, dest_line);
      continue;
    }
    std::optional<Placing> placing;
    if (dest) placing = Placing{*dest, dest_line, kind, src.value_or(fs::path()), true};
    add_file(src, placing, source_line, kind, reading, &destinations);
  }
}

}  // namespace tvpack
