// The UI driver's reader of an installer's dialog templates (tools/dialog_templates)
// against the maker's resource reader: the same templates, read from the headers and the
// resource section alone (never the package after them), and nothing read outside the
// file whatever its bytes.
#include <algorithm>
#include <cstdint>

#include "dialog_templates.h"
#include "pack_test_support.h"
#include "pe/pe_image.h"
#include "pe/pe_resources.h"

namespace {

using namespace packtest;
using tvpack::Resource;
using Templates = std::vector<std::vector<uint8_t>>;

std::vector<uint8_t> versioned_stub() { return read_bytes(fs::u8path(TV_VERSIONED_STUB)); }

// The file as the driver reads it: bytes, then `virtual_tail` bytes that are never
// there (a package of gigabytes); every read is checked and counted.
struct Reads {
  const std::vector<uint8_t>* bytes;
  uint64_t virtual_tail = 0;
  size_t cut = SIZE_MAX;  // the file cut to so many bytes
  uint64_t total = 0, furthest = 0;
  bool outside = false;

  tvdlg::Read run(Templates* out) {
    size_t real = std::min(cut, bytes->size());
    uint64_t size = real + virtual_tail;
    return tvdlg::read_dialog_templates(size, [this, size, real](uint64_t at, uint32_t n, uint8_t* to) {
      if (at > size || size - at < n || n == 0 || to == nullptr) outside = true;  // every read asks for bytes
      if (at > real || real - at < n) return false;
      std::copy_n(bytes->begin() + std::ptrdiff_t(at), n, to);
      total += n;
      furthest = std::max(furthest, at + n);
      return true;
    }, out);
  }
};

// The dialogs as the maker reads them, in the tree's order.
Templates dialogs_by_maker(const std::vector<uint8_t>& file) {
  Templates out;
  for (const Resource& r : tvpack::read_resources(file.data(), file.size(), tvpack::parse_pe(file.data(), file.size())))
    if (tvpack::is_type(r, tvpack::kRtDialog)) out.push_back(r.data);
  return out;
}

Resource resource(uint32_t type, uint32_t id, std::u16string name, uint16_t language, size_t size) {
  Resource r;
  r.type.id = type;
  r.name = {id, name};
  r.language = language;
  r.data = pattern(size, id * 7 + language + uint32_t(name.size()));
  return r;
}

// Stubs with many kinds of resource trees: the stub's own, several numbered and named
// dialogs in several languages among other types, a named type, no dialogs at all.
std::vector<std::pair<const char*, std::vector<uint8_t>>> stubs() {
  std::vector<uint8_t> stub = versioned_stub();
  std::vector<Resource> own = tvpack::read_resources(stub.data(), stub.size(), tvpack::parse_pe(stub.data(), stub.size()));
  std::vector<Resource> many = own, none, named_type = own;
  for (Resource r : {resource(5, 200, u"", 0x804, 300), resource(5, 200, u"", 0x409, 310),
                     resource(5, 0, u"LATER", 0x804, 64), resource(5, 7, u"", 0, 16), resource(3, 9, u"", 0, 500),
                     resource(16, 2, u"", 0x804, 90)})
    many.push_back(r);
  for (const Resource& r : own)
    if (!tvpack::is_type(r, tvpack::kRtDialog)) none.push_back(r);
  Resource t = resource(0, 103, u"", 0x804, 120);
  t.type = {0, u"DIALOGS"};
  named_type.push_back(t);
  return {{"the stub's own", stub},
          {"many dialogs among other resources", tvpack::with_resources(stub, many)},
          {"no dialog", tvpack::with_resources(stub, none)},
          {"a type named, not numbered", tvpack::with_resources(stub, named_type)}};
}

TEST(DialogTemplates, TheSameAsTheMakerReadsFromTheResourceSectionAlone) {
  for (const auto& [what, file] : stubs()) {
    Templates want = dialogs_by_maker(file), got;
    // As an installer of more than 2 GiB: the package after the stub is never read.
    Reads reads{&file, uint64_t(3) << 30};
    ASSERT_EQ(reads.run(&got), tvdlg::Read::kOk) << what;
    EXPECT_EQ(got, want) << what;
    EXPECT_FALSE(reads.outside) << what;
    EXPECT_LE(reads.furthest, file.size()) << what;
    EXPECT_LE(reads.total, file.size()) << what;
  }
  EXPECT_GE(dialogs_by_maker(versioned_stub()).size(), 2u) << "the stub carries its two dialogs";
}

TEST(DialogTemplates, WhatIsNoPeFileOrHasNoResourcesIsSaidSo) {
  std::vector<uint8_t> bare = make_pe(PeRecipe{}), text(5000, 'x'), empty;
  const struct {
    const char* what;
    const std::vector<uint8_t>* file;
    tvdlg::Read want;
  } cases[] = {{"text", &text, tvdlg::Read::kNotPe},
               {"nothing", &empty, tvdlg::Read::kNotPe},
               {"a PE file without resources", &bare, tvdlg::Read::kNoResources}};
  for (const auto& c : cases) {
    Templates got;
    Reads reads{c.file};
    EXPECT_EQ(reads.run(&got), c.want) << c.what;
    EXPECT_TRUE(got.empty()) << c.what;
    EXPECT_FALSE(reads.outside) << c.what;  // an empty file once got a read of nothing (fuzz_dialogs)
  }
}

// Hostile files: every length the file could be cut to, and every byte of the headers
// and the resource tree's directories changed. Nothing is read outside the file, and
// what is found is either the whole truth or nothing.
TEST(DialogTemplates, NothingIsReadOutsideADamagedFile) {
  std::vector<uint8_t> file = stubs()[1].second;
  Templates want = dialogs_by_maker(file);
  tvpack::PeLayout pe = tvpack::parse_pe(file.data(), file.size());
  size_t rsrc = 0;
  for (const tvpack::PeSection& s : pe.sections)
    if (s.name == ".rsrc") rsrc = s.raw_pointer;
  ASSERT_NE(rsrc, 0u);
  size_t whole = 0, runs = 0;
  auto check = [&](std::vector<uint8_t>& f, size_t cut) {
    Templates got;
    Reads reads{&f, 0, cut};
    tvdlg::Read r = reads.run(&got);
    ++runs;
    ASSERT_FALSE(reads.outside) << cut;
    if (r != tvdlg::Read::kOk) EXPECT_TRUE(got.empty());
    for (const auto& t : got) EXPECT_LE(t.size(), tvdlg::kMaxTemplate);
    whole += got == want;
  };
  // Cut anywhere in the headers and the first KiB of the resource tree, and every 997th
  // byte elsewhere (whatever the layout: the window is never stepped into part way).
  ASSERT_LE(rsrc + 0x400, file.size());
  for (size_t n = 0; n < file.size(); ++n)
    if (n < 0x400 || (n >= rsrc && n < rsrc + 0x400) || n % 997 == 0) check(file, n);
  // A byte changed in the headers or the resource tree's directories.
  std::vector<size_t> places;
  for (size_t i = 0; i < 0x400; ++i) places.push_back(i);
  for (size_t i = rsrc; i < rsrc + 0x200; ++i) places.push_back(i);
  for (size_t at : places)
    for (uint8_t x : {uint8_t(0xFF), uint8_t(0x80), uint8_t(0x01)}) {
      file[at] ^= x;
      check(file, SIZE_MAX);
      file[at] ^= x;
    }
  EXPECT_GT(runs, 6000u);
  EXPECT_GT(whole, 0u) << "changes outside the dialogs' entries leave them readable";
}

}  // namespace
