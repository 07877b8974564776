// The manifest read and checked in full before anything is written: the TOML parsed,
// build-time values put in, then each table's reader (manifest_tables.h) in turn, and
// every mistake they found told at once.
#include <cerrno>
#include <fstream>
#include <set>
#include <sstream>

#include "assemble/manifest.h"
#include "assemble/manifest_tables.h"
#include "assemble/package_size.h"
#include "common/errors.h"

namespace fs = std::filesystem;

namespace tvpack {
namespace {

// A string with a terminating NUL unit in the script.
uint64_t string_bytes(const std::u16string& s) { return 2 * (uint64_t(s.size()) + 1); }

// Only the known tables, and a format version the installer reads.
void check_top_level(Reading* r, const toml::table& root) {
  for (auto&& [key, node] : root) {
    (void)node;
    static const std::set<std::string> known = {"format_version", "installer", "define", "variable",
                                                "file", "tree", "shortcut"};
    if (known.count(std::string(key.str())) == 0)
      r->error(line_of(key), "unknown key " + quote(std::string(key.str())) +
                                 " (a manifest has format_version, [installer], [define], "
                                 "[[variable]], [[file]], [[tree]] and [[shortcut]])");
  }
  if (const toml::node* v = root.get("format_version")) {
    const auto* i = v->as_integer();
    if (i == nullptr || i->get() < INT32_MIN || i->get() > INT32_MAX)
      return r->error(line_of(*v), "format_version must be an integer (32-bit)");
    r->m->format_version = int32_t(i->get());
    if (r->m->format_version > 1)
      r->error(line_of(*v), "format_version " + std::to_string(r->m->format_version) +
                                " would be refused by the installer, which reads 1 (or lower)");
  }
}

// The install script's size, known before a file is read.
void check_script_size(Manifest* m, ErrorList* errors) {
  uint64_t size = 4 + 4;
  for (const auto& v : m->variables) size += string_bytes(v.name) + string_bytes(v.value);
  size += 4;
  for (const auto& f : m->files) size += string_bytes(f.destination) + 4 + f.size;
  size += string_bytes(shortcut_text(m->shortcuts));
  m->script_size = size;
  std::string problem = script_size_problem(size);
  if (!problem.empty()) errors->add(0, problem);
}

}  // namespace

Manifest load_manifest(const fs::path& path, const Defines& defines) {
  InstallerSession session;
  return load_manifest(path, defines, session);
}

Manifest load_manifest(const fs::path& path, const Defines& defines, InstallerSession& session) {
  Manifest m;
  m.path = path;
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) fail(path, "cannot read the manifest (" + system_reason("it cannot be opened") + ")");
  std::stringstream text;
  text << in.rdbuf();
  toml::table root;
  try {
    root = toml::parse(text.str(), show_path(path));
  } catch (const toml::parse_error& e) {
    fail_at(path, int(e.source().begin.line), "not valid TOML: " + std::string(e.description()));
  }
  // Past a syntax error nothing can be trusted: it is told alone. Any other mistake
  // is told with the rest.
  Reading reading(&m, &session);  // the variables are defined in the installer's own table
  replace_defines(&reading, root, defines);
  check_top_level(&reading, root);
  m.installer = read_installer_table(&reading, root);
  read_variables(&reading, root);
  read_files(&reading, root);
  read_shortcuts(&reading, root);
  check_paths(&reading);
  check_script_size(&m, &reading.errors);
  reading.errors.throw_if_any();
  return m;
}

}  // namespace tvpack
