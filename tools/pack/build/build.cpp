// The build command: a manifest, a raw script or a raw blob made into an installer.
#include "build/build.h"

#include <stdexcept>

#include "build/manifest.h"
#include "build/room.h"
#include "common/errors.h"
#include "common/limits.h"
#include "common/read_file.h"
#include "common/system.h"
#include "package/writer.h"
#include "pe/ico.h"
#include "pe/product.h"

namespace fs = std::filesystem;

namespace tvpack {

bool parse_key(const std::string& text, uint32_t* key) {
  if (text.empty()) return false;
  uint64_t value = 0;
  size_t i = 0;
  unsigned base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    i = 2;
  }
  for (; i < text.size(); ++i) {
    char c = text[i];
    unsigned digit;
    if (c >= '0' && c <= '9')
      digit = unsigned(c - '0');
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = unsigned(c - 'a' + 10);
    else if (base == 16 && c >= 'A' && c <= 'F')
      digit = unsigned(c - 'A' + 10);
    else
      return false;
    value = value * base + digit;
    if (value > 0xFFFFFFFFull) return false;
  }
  *key = uint32_t(value);
  return true;
}

std::string installer_memory_problem(uint64_t n, uint64_t u) {
  uint64_t need = 2 * n + u;
  if (need <= kMaxInstallerMemory) return "";
  return "needs " + std::to_string(need >> 20) + " MiB in the installer (twice the " +
         std::to_string(n >> 20) + " MiB container, mapped with the installer, plus the " +
         std::to_string(u >> 20) + " MiB install script); a 32-bit installer takes at most " +
         std::to_string(kMaxInstallerMemory >> 20) + " MiB";
}

std::vector<uint8_t> blob_from_script(std::vector<uint8_t> script, uint32_t key, uint32_t* n,
                                      const PackOptions& options) {
  if (options.level < kMinLevel || options.level > kMaxLevel)
    throw std::invalid_argument("compression level out of range");
  uint64_t total = script.size();
  CompressProgress report;
  if (options.progress != nullptr)
    report = [&options, total](uint64_t done) { options.progress->compressed(done, total); };
  std::vector<uint8_t> container = compress_script(script, options.level, report);
  script = std::vector<uint8_t>();  // the blob is made without it
  tv::append_container_trailer(container, uint32_t(total));
  container.shrink_to_fit();
  *n = uint32_t(container.size());
  return tv::make_blob(container, key);
}

namespace {

// The stub made the product's: the manifest's icon and version information, and the
// output's file name as its original file name.
constexpr uint64_t kHeaderAndDirectory = 6 + 16 * kMaxIconImages;

void make_product_stub(const Manifest& m, const fs::path& out, Stub* stub) {
  ProductInfo product = m.installer.product;
  if (!m.installer.icon.empty()) {
    const std::string named = "[installer] icon " + quote(show_path(m.installer.icon));
    // An icon file is its directory and images: a larger file is read no further (a
    // file of gigabytes would be read whole, or on 32-bit Windows cut short).
    std::error_code ec;
    uintmax_t file_size = fs::file_size(m.installer.icon, ec);
    if (!ec && file_size > kHeaderAndDirectory + kMaxIconBytes)
      fail_at(m.path, m.installer.icon_line, named + " is " + std::to_string(file_size) +
                                                 " bytes, more than an icon file of 16 MiB of images");
    std::vector<uint8_t> bytes;
    try {
      bytes = read_file(m.installer.icon);
    } catch (const PackError& e) {
      fail_at(m.path, m.installer.icon_line, named + " cannot be read (" + e.what() + ")");
    }
    try {
      product.icon = read_ico(bytes.data(), bytes.size());
    } catch (const PackError& e) {
      fail_at(m.path, m.installer.icon_line, named + " " + e.what());
    }
  }
  try {
    stub->bytes = with_product_resources(stub->bytes, product, file_name_text(out));
  } catch (const PackError& e) {
    fail(stub->path, std::string("the stub ") + e.what());
  }
}

}  // namespace

BuildSummary build_installer(const fs::path& manifest, const fs::path& stub_path, uint32_t key,
                             const fs::path& out, const PackOptions& options) {
  Manifest m = load_manifest(manifest, options.defines);
  size_t room = install_folder_room(m);
  if (room < kLowRoom)
    m.warnings.push_back(show_path(manifest) + ": warning: the install folder may be at most " + std::to_string(room) +
                         " characters long, as the longest path below {App} is " +
                         std::to_string(kMaxPathUnits - 1 - room) + " (a folder under C:\\Users\\<name>\\AppData "
                         "often takes 40 to 60)");
  if (options.warning)
    for (const std::string& w : m.warnings) options.warning(w);
  Stub stub = load_stub(stub_path);
  make_product_stub(m, out, &stub);
  FilesRead files_read;
  if (options.progress != nullptr) {
    options.progress->compressed(0, m.script_size);
    options.progress->files_read(0, m.files.size());
    files_read = [&options, &m](size_t done) { options.progress->files_read(done, m.files.size()); };
  }
  std::vector<uint8_t> script = build_script(m, files_read);
  BuildSummary summary;
  summary.files = m.files.size();
  summary.shortcuts = m.shortcuts.size();
  summary.room = room;
  summary.script_size = script.size();
  std::vector<uint8_t> blob = blob_from_script(std::move(script), key, &summary.container_size, options);
  std::string problem = installer_memory_problem(summary.container_size, summary.script_size);
  if (!problem.empty()) fail(manifest, "the package " + problem);
  write_installer(stub, blob, summary.container_size, key, out);
  return summary;
}

uint32_t wrap_script(const fs::path& script_path, const fs::path& stub_path, uint32_t key,
                     const fs::path& out, const PackOptions& options) {
  Stub stub = load_stub(stub_path);
  std::vector<uint8_t> script = read_file(script_path);
  // The container (stream, trailer) and the blob twice its size must fit 32 bits.
  if (script.size() > kMaxScriptSize)
    fail(script_path, "is " + std::to_string(script.size()) +
                          " bytes; an install script may have at most 1 GiB (1073741824 bytes)");
  uint32_t n = 0;
  uint64_t u = script.size();
  std::vector<uint8_t> blob = blob_from_script(std::move(script), key, &n, options);
  std::string problem = installer_memory_problem(n, u);
  if (!problem.empty()) fail(script_path, "makes a package that " + problem);
  write_installer(stub, blob, n, key, out);
  return n;
}

uint32_t wrap_blob(const fs::path& blob_path, const fs::path& stub_path, uint32_t key, const fs::path& out) {
  Stub stub = load_stub(stub_path);
  std::vector<uint8_t> blob = read_file(blob_path);
  if (blob.size() % 2 != 0)
    fail(blob_path, "has an odd size (" + std::to_string(blob.size()) +
                        " bytes); a stored blob is twice its container's length");
  if (blob.size() / 2 > 0xFFFFFFFFu) fail(blob_path, "is too large for a package section");
  uint32_t n = uint32_t(blob.size() / 2);
  write_installer(stub, blob, n, key, out);
  return n;
}

}  // namespace tvpack
