// The dialog templates of a PE file: the headers read (at most kHeaderBytes), the section
// that holds the resource directory read whole (at most kMaxResourceSection), and the
// tree walked there: type RT_DIALOG, its names, their languages, each data entry's bytes.
#include "dialog_templates.h"

#include <algorithm>

#include "base/bytes.h"
#include "base/pe_headers.h"

namespace tvdlg {
namespace {

using tv::le16;
using tv::le32;

constexpr uint32_t kFirstHeaderBytes = 4u << 10;  // where a linker puts the headers
constexpr uint32_t kHeaderBytes = 64u << 10;       // the headers and section table lie within
constexpr uint32_t kRtDialog = 5;
constexpr uint32_t kSubdirectory = 0x80000000u;
constexpr size_t kMaxEntries = 65536;  // entries looked at in all

struct Section {
  uint32_t rva = 0, offset = 0;  // the resource directory's, and where its section starts in the file
  std::vector<uint8_t> bytes;    // the section's raw data
};

// The resource directory's RVA from the optional header (its data directory 2); 0 for none.
uint32_t resource_rva(const std::vector<uint8_t>& h, const tv::PeHeaders& pe) {
  size_t opt = size_t(pe.signature) + 24;
  if (pe.optional_size < 2) return 0;
  uint16_t magic = le16(h.data() + opt);
  uint32_t directories_at = tv::pe_directories_at(magic);
  size_t dirs = opt + directories_at, count_at = dirs - 4;
  if (directories_at == 0 || dirs + 3 * 8 > opt + pe.optional_size) return 0;
  if (le32(h.data() + count_at) < 3) return 0;
  return le32(h.data() + dirs + 2 * 8);
}

// The section holding rva, its raw data read from the file.
Read read_section(const std::vector<uint8_t>& h, const tv::PeHeaders& pe, uint32_t rva, uint64_t file_size,
                  const ReadAt& read_at, Section* out) {
  for (uint16_t i = 0; i < pe.section_count; ++i) {
    tv::PeSectionHeader s = tv::pe_section_header(h.data(), pe, i);
    uint32_t va = s.virtual_address, raw_size = s.raw_size, raw_at = s.raw_pointer;
    if (rva < va || rva - va >= raw_size) continue;
    if (raw_size > kMaxResourceSection || raw_at > file_size || file_size - raw_at < raw_size) return Read::kDamaged;
    out->rva = va;
    out->offset = raw_at;
    out->bytes.resize(raw_size);
    return read_at(raw_at, raw_size, out->bytes.data()) ? Read::kOk : Read::kCannotRead;
  }
  return Read::kDamaged;
}

class Walk {
 public:
  Walk(const Section& s, uint32_t root, std::vector<std::vector<uint8_t>>* out) : s_(s), root_(root), out_(out) {}

  // The root's RT_DIALOG entry, then its names and their languages.
  bool run() {
    return directory(root_, 0, [this](uint32_t id, uint32_t target) {
      if (id != kRtDialog) return true;
      if (!(target & kSubdirectory)) return false;
      return directory(target & ~kSubdirectory, 1, [this](uint32_t, uint32_t names) {
        if (!(names & kSubdirectory)) return false;
        return directory(names & ~kSubdirectory, 2, [this](uint32_t, uint32_t leaf) {
          return !(leaf & kSubdirectory) && data(leaf);
        });
      });
    });
  }

 private:
  // Calls each(name, target) for every entry of the directory at `at` (relative to the
  // resource directory), in order; false when it is damaged or each said so.
  template <typename Each>
  bool directory(uint32_t at, int level, Each each) {
    const std::vector<uint8_t>& b = s_.bytes;
    uint64_t start = uint64_t(root_) + at;
    if (start > b.size() || b.size() - start < 16 || level > 2) return false;
    uint32_t count = uint32_t(le16(&b[start + 12])) + le16(&b[start + 14]);
    if (uint64_t(count) * 8 > b.size() - start - 16) return false;
    for (uint32_t i = 0; i < count; ++i) {
      if (++entries_ > kMaxEntries) return false;
      const uint8_t* e = &b[start + 16 + 8 * i];
      uint32_t name = le32(e);
      // A named type is no RT_DIALOG; a named dialog or language is read like a numbered one.
      if (!each(level == 0 && (name & kSubdirectory) ? 0 : name, le32(e + 4))) return false;
    }
    return true;
  }

  // The data entry at `at`: its bytes, which must lie in this section.
  bool data(uint32_t at) {
    const std::vector<uint8_t>& b = s_.bytes;
    uint64_t start = uint64_t(root_) + at;
    if (start > b.size() || b.size() - start < 16) return false;
    uint32_t rva = le32(&b[start]), size = le32(&b[start + 4]);
    if (rva < s_.rva || size > kMaxTemplate) return false;
    uint64_t offset = uint64_t(rva) - s_.rva;
    if (offset > b.size() || b.size() - offset < size) return false;
    out_->emplace_back(b.begin() + offset, b.begin() + offset + size);
    return true;
  }

  const Section& s_;
  uint32_t root_;
  std::vector<std::vector<uint8_t>>* out_;
  size_t entries_ = 0;
};

}  // namespace

Read read_dialog_templates(uint64_t file_size, const ReadAt& read_at, std::vector<std::vector<uint8_t>>* templates) {
  templates->clear();
  if (file_size < 0x40) return Read::kNotPe;  // not even an MZ header; and no read of nothing
  // The first 4 KiB hold the headers of every linker's output; further only when they
  // do not, so that a small stub's resource section is not read twice.
  std::vector<uint8_t> h;
  tv::PeHeaders pe;
  tv::PeHeadersRead headers = tv::PeHeadersRead::kNoMz;
  for (uint32_t want : {kFirstHeaderBytes, kHeaderBytes}) {
    size_t n = size_t(std::min<uint64_t>(file_size, want));
    if (n == h.size()) break;
    h.resize(n);
    if (!read_at(0, uint32_t(n), h.data())) return Read::kCannotRead;
    headers = tv::read_pe_headers(h.data(), h.size(), &pe);
    if (headers == tv::PeHeadersRead::kOk || headers == tv::PeHeadersRead::kNoMz) break;
  }
  if (headers != tv::PeHeadersRead::kOk) return Read::kNotPe;
  uint32_t rva = resource_rva(h, pe);
  if (rva == 0) return Read::kNoResources;
  Section s;
  Read r = read_section(h, pe, rva, file_size, read_at, &s);
  if (r != Read::kOk) return r;
  Walk walk(s, rva - s.rva, templates);
  if (!walk.run()) {
    templates->clear();
    return Read::kDamaged;
  }
  return Read::kOk;
}

}  // namespace tvdlg
