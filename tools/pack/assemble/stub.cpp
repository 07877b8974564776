// The installer stub: found beside the maker, read and checked, and the installer
// written from it with its package section, through a temporary file beside the output.
#include "assemble/stub.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>

#include "common/beside_maker.h"
#include "common/errors.h"
#include "common/read_file.h"
#include "common/system.h"
#include "pe/package_section.h"

namespace fs = std::filesystem;

namespace tvpack {
namespace {

// A temporary file beside the output, renamed over it at the end; removed when the
// write does not get that far.
class AtomicOutput {
 public:
  explicit AtomicOutput(const fs::path& out) : out_(out) {
    temp_ = out;
    temp_ += utf8_path(".tmp-" + std::to_string(process_id()));
    errno = 0;
    file_.open(temp_, std::ios::binary | std::ios::trunc);
    if (!file_) fail(out_, "cannot be written (" + system_reason("it cannot be made") + ")");
  }
  ~AtomicOutput() {
    if (!committed_) {
      file_.close();
      std::error_code ec;
      fs::remove(temp_, ec);
    }
  }
  void write(const uint8_t* data, size_t size) {
    errno = 0;
    if (size != 0) file_.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    if (!file_) fail(out_, "cannot be written (" + system_reason("the write failed") + ")");
  }
  void write_zeros(uint64_t count) {
    static const uint8_t zeros[4096] = {};
    while (count > 0) {
      size_t chunk = count < sizeof zeros ? size_t(count) : sizeof zeros;
      write(zeros, chunk);
      count -= chunk;
    }
  }
  void commit() {
    errno = 0;
    file_.close();
    if (!file_) fail(out_, "cannot be written (" + system_reason("closing it failed") + ")");
    std::error_code ec;
    fs::rename(temp_, out_, ec);
    if (ec) fail(out_, "cannot be written (" + ec.message() + ")");
    committed_ = true;
  }

 private:
  fs::path out_, temp_;
  std::ofstream file_;
  bool committed_ = false;
};

PackagedImage plan(const Stub& stub, const std::vector<const std::vector<uint8_t>*>& parts) {
  try {
    return add_package_section(stub.bytes, parts);
  } catch (const PackError& e) {
    fail(stub.path, std::string("the stub ") + e.what());
  }
}

}  // namespace

fs::path default_stub(const fs::path& self_dir) {
  std::string tried;
  for (const fs::path& folder : beside_maker(self_dir)) {
    fs::path place = folder / "talvenor-setup.exe";
    std::error_code ec;
    if (fs::is_regular_file(place, ec)) return place;
    tried += (tried.empty() ? "" : ", ") + quote(show_path(fs::absolute(place, ec)));
  }
  fail("no installer stub: looked for " + tried + "; give one with --stub");
}

Stub load_stub(const fs::path& path) {
  Stub stub{path, read_file(path)};
  plan(stub, {});  // the same checks as when the package goes in
  return stub;
}

void write_installer(const Stub& stub, const std::vector<uint8_t>& blob, uint32_t n, uint32_t key,
                     const fs::path& out) {
  std::vector<uint8_t> header = package_section_header(n, key);
  PackagedImage image = plan(stub, {&header, &blob});
  // The section's raw data lies past every byte of the stub.
  if (image.section_offset < image.head.size() ||
      image.total_size < image.section_offset + header.size() + blob.size())
    throw std::logic_error("the package section was placed inside the stub");
  AtomicOutput file(out);
  file.write(image.head.data(), image.head.size());
  file.write_zeros(image.section_offset - image.head.size());
  file.write(header.data(), header.size());
  file.write(blob.data(), blob.size());
  file.write_zeros(image.total_size - image.section_offset - header.size() - blob.size());
  file.commit();
}

}  // namespace tvpack
