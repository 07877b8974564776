// The build command: a manifest, a raw script or a raw blob made into an installer.
#include "assemble/build.h"

#include <stdexcept>

#include "assemble/manifest.h"
#include "assemble/package_size.h"
#include "common/errors.h"
#include "common/limits.h"
#include "common/output_folder.h"
#include "common/read_file.h"
#include "common/system.h"
#include "package/writer.h"
#include "pe/ico.h"
#include "pe/product.h"
#include "session/installer_session.h"

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

std::vector<uint8_t> container_from_script(std::vector<uint8_t> script, const BuildOptions& options) {
  if (options.level < kMinLevel || options.level > kMaxLevel)
    throw std::invalid_argument("compression level out of range");
  uint64_t total = script.size();
  CompressProgress report;
  if (options.progress != nullptr)
    report = [&options, total](uint64_t done) { options.progress->compressed(done, total); };
  std::vector<uint8_t> container = compress_script(script, options.level, report);
  script = std::vector<uint8_t>();  // the blob is made without it
  tv::append_container_trailer(container, uint32_t(total));  // not shrunk: that would copy it
  return container;
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

// The one size judgement of every way into an installer: a container of n bytes
// against the stored package's ceiling (refused, naming the input), and the note for
// a package that 32-bit Windows cannot hold (u: the script's bytes, 0 when unknown).
uint32_t judge_package_size(uint64_t n, uint64_t u, const fs::path& input, const fs::path& out,
                            const BuildOptions& options) {
  std::string problem = package_size_problem(n);
  if (!problem.empty()) fail(input, problem);
  std::string note = needs_64bit_windows(n, u);
  if (!note.empty() && options.warning) options.warning(show_path(out) + ": " + note);
  return uint32_t(n);
}

// The container judged, made a blob and written with the stub; returns N.
uint32_t write_package(const Stub& stub, const std::vector<uint8_t>& container, uint64_t script_size, uint32_t key,
                       const fs::path& input, const fs::path& out, const BuildOptions& options) {
  uint32_t n = judge_package_size(container.size(), script_size, input, out, options);
  write_installer(stub, tv::make_blob(container, key), n, key, out);
  return n;
}

// The warning of a room under kLowRoom.
std::string low_room_warning(const fs::path& manifest, size_t room) {
  return warning_at(manifest, 0, "the install folder may be at most " + std::to_string(room) +
         " characters long, as the package's longest path leaves no more (a folder under "
                                     "C:\\Users\\<name>\\AppData often takes 40 to 60)");
}

}  // namespace

BuildSummary build_installer(const fs::path& manifest, const fs::path& stub_path, uint32_t key,
                             const fs::path& out, const BuildOptions& options) {
  make_output_folder(out);  // before any work: a build never fails at its end for want of it
  InstallerSession session;  // the command's one
  Manifest m = load_manifest(manifest, options.defines, session);
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
  summary.room = m.room;  // the installer's own check, made as the manifest was read
  if (summary.room < kLowRoom && options.warning) options.warning(low_room_warning(manifest, summary.room));
  summary.script_size = script.size();
  std::vector<uint8_t> container = container_from_script(std::move(script), options);
  summary.container_size = write_package(stub, container, summary.script_size, key, manifest, out, options);
  return summary;
}

uint32_t wrap_script(const fs::path& script_path, const fs::path& stub_path, uint32_t key,
                     const fs::path& out, const BuildOptions& options) {
  make_output_folder(out);
  Stub stub = load_stub(stub_path);
  std::error_code ec;
  uintmax_t size = fs::file_size(script_path, ec);
  std::string problem = ec ? "" : script_size_problem(size);  // before the script is read
  if (!problem.empty()) fail(script_path, problem);
  std::vector<uint8_t> script = read_file(script_path);
  problem = script_size_problem(script.size());
  if (!problem.empty()) fail(script_path, problem);
  uint64_t u = script.size();
  std::vector<uint8_t> container = container_from_script(std::move(script), options);
  return write_package(stub, container, u, key, script_path, out, options);
}

namespace {

// A stored blob's size: even, and judged as every package is (its script's size is
// not known without unpacking it).
uint32_t judge_blob_size(uint64_t size, const fs::path& blob_path, const fs::path& out, const BuildOptions& options) {
  if (size % 2 != 0)
    fail(blob_path, "has an odd size (" + std::to_string(size) + " bytes); a stored blob is twice its container's length");
  return judge_package_size(size / 2, 0, blob_path, out, options);
}

}  // namespace

uint32_t wrap_blob(const fs::path& blob_path, const fs::path& stub_path, uint32_t key, const fs::path& out,
                   const BuildOptions& options) {
  make_output_folder(out);
  Stub stub = load_stub(stub_path);
  std::error_code ec;
  uintmax_t size = fs::file_size(blob_path, ec);
  if (!ec) judge_blob_size(size, blob_path, out, BuildOptions());  // before the blob is read
  std::vector<uint8_t> blob = read_file(blob_path);
  uint32_t n = judge_blob_size(blob.size(), blob_path, out, options);
  write_installer(stub, blob, n, key, out);
  return n;
}

}  // namespace tvpack
