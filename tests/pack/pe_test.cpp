// The package section added to a stub: the section and the headers that describe
// it, the loader's view, the checksum, and the stubs that are refused; the one reader
// and writer of a section header; and the kind of program a file is, read safely
// from any bytes.
#include "pack_test_support.h"
#include "common/errors.h"
#include "pe/package_section.h"
#include "pe/pe_image.h"
#include "base/package_section.h"
#include "base/pe_headers.h"

namespace {

using namespace packtest;
using tvpack::PeLayout;

uint64_t align(uint64_t x, uint32_t a) { return (x + a - 1) / a * a; }

PeLayout layout(const std::vector<uint8_t>& file) { return tvpack::parse_pe(file.data(), file.size()); }

// Packs a blob of 2n bytes into stub, checks every header the section changes (and
// that nothing else of the stub did), and that the loader's view finds the blob.
std::vector<uint8_t> pack_and_check(const std::vector<uint8_t>& stub, uint32_t n) {
  std::vector<uint8_t> blob = pattern(2 * n, n), header = tvpack::package_section_header(n, 0x2C7E13A5u);
  tvpack::PackagedImage img = tvpack::add_package_section(stub, {&header, &blob});
  std::vector<uint8_t> file = img.head;
  file.resize(img.section_offset, 0);
  file.insert(file.end(), header.begin(), header.end());
  file.insert(file.end(), blob.begin(), blob.end());
  file.resize(img.total_size, 0);
  PeLayout b = layout(stub), a = layout(file);
  const uint32_t content = 16 + 2 * n;
  EXPECT_EQ(a.section_count, b.section_count + 1);
  const tvpack::PeSection& s = a.sections.back();
  EXPECT_EQ(s.name, ".tvpkg");
  EXPECT_EQ(s.characteristics, 0x40000040u);  // initialised data, read-only
  EXPECT_EQ(s.virtual_size, content);
  EXPECT_EQ(s.raw_size, align(content, b.file_alignment));
  // after any overlay, at a page of the file (mapped, not read in, by the loader)
  EXPECT_EQ(s.raw_pointer, align(stub.size(), std::max<uint32_t>(b.file_alignment, 4096)));
  uint64_t end = 0;  // of the sections in memory (VirtualSize, else the raw size)
  for (const auto& old : b.sections)
    end = std::max<uint64_t>(end, old.virtual_address + (old.virtual_size ? old.virtual_size : old.raw_size));
  EXPECT_EQ(s.virtual_address, align(end, b.section_alignment));
  EXPECT_EQ(a.size_of_image, s.virtual_address + align(content, b.section_alignment));
  EXPECT_EQ(a.size_of_initialized_data, b.size_of_initialized_data + s.raw_size);
  EXPECT_EQ(file.size(), s.raw_pointer + s.raw_size);
  EXPECT_EQ(a.checksum, tvpack::pe_checksum(file.data(), file.size(), a.checksum_offset));
  size_t changed = 0;  // bytes of the stub outside the fields above
  for (size_t i = 0; i < stub.size(); ++i) {
    bool field = i - (b.pe_offset + 6) < 2 || i - (b.optional_offset + 8) < 4 ||
                 i - (b.optional_offset + 56) < 4 || i - b.checksum_offset < 4 ||
                 i - (b.section_table + b.section_count * 40u) < 40;
    changed += !field && stub[i] != file[i];
  }
  EXPECT_EQ(changed, 0u);
  std::vector<uint8_t> image = map_image(file);
  tv::PackageView view;
  EXPECT_TRUE(tv::find_package_in_image(image.data(), image.size(), &view));
  EXPECT_TRUE(view.n == n && view.blob && std::equal(blob.begin(), blob.end(), view.blob));
  return file;
}

TEST(PackageSection, HeadersAndLoaderViewForEveryKindOfStubAndLengthModuloFour) {
  PeRecipe plus, overlay, bss;
  plus.pe32plus = true;
  overlay.overlay = 333;
  bss.last_virtual_size = 0x2800;  // three pages in memory, one file alignment on disk
  for (const PeRecipe& r : {PeRecipe{}, plus, overlay, bss}) {
    for (uint32_t n : {8u, 9u, 10u, 11u, 4096u}) {
      SCOPED_TRACE("pe32+ " + std::to_string(r.pe32plus) + ", overlay " + std::to_string(r.overlay) +
                   ", N " + std::to_string(n));
      pack_and_check(make_pe(r), n);
    }
  }
}

TEST(PackageSection, RealStubsKeepTheirSymbolTableAndTheLinkersChecksumAgrees) {
  std::vector<fs::path> stubs = real_stubs();
  if (stubs.empty()) GTEST_SKIP() << "this build made no mingw stub";
  for (const fs::path& path : stubs) {
    SCOPED_TRACE(path.u8string());
    std::vector<uint8_t> stub = read_bytes(path);
    PeLayout pe = layout(stub);
    ASSERT_NE(pe.checksum, 0u) << "the linker left no checksum to compare with";
    EXPECT_EQ(tvpack::pe_checksum(stub.data(), stub.size(), pe.checksum_offset), pe.checksum);
    std::vector<uint8_t> file = pack_and_check(stub, 777);
    uint32_t symbols = le32_at(stub, pe.pe_offset + 12);
    if (symbols) {
      EXPECT_LT(symbols, layout(file).sections.back().raw_pointer);
    }
  }
}

TEST(Checksum, PiecesOfAnyLengthSumLikeTheWholeAndTheFieldDoesNotCount) {
  std::vector<uint8_t> data = pattern(1001, 11);  // odd length, field at an odd offset
  const uint64_t field = 0x55;
  uint32_t whole = tvpack::pe_checksum(data.data(), data.size(), field);
  for (size_t cut : {size_t(1), size_t(0x54), size_t(0x56), size_t(0x57), size_t(0x59), size_t(1000)}) {
    tvpack::PeChecksum c(field);
    c.add(data.data(), cut);
    c.add(data.data() + cut, data.size() - cut);
    EXPECT_EQ(c.finish(), whole) << "cut at " << cut;
  }
  tvpack::PeChecksum padded(field);
  padded.add(data.data(), data.size());
  padded.add_zeros(37);
  data.resize(data.size() + 37, 0);
  EXPECT_EQ(padded.finish(), tvpack::pe_checksum(data.data(), data.size(), field));
  data[field] ^= 0xFF, data[field + 3] ^= 0x0F;
  EXPECT_EQ(tvpack::pe_checksum(data.data(), data.size(), field), padded.finish());
  data[field + 4] ^= 1;
  EXPECT_NE(tvpack::pe_checksum(data.data(), data.size(), field), padded.finish());
}

TEST(PackageSection, RefusesStubsItCannotExtend) {
  std::vector<uint8_t> good = make_pe(PeRecipe{}), not_mz(good), no_pe(good), busy(good), wide(good);
  not_mz[0] = 'X';
  for (size_t at : {0x98 + 32, 0x98 + 36}) {  // both alignments 1 MiB: a file of megabytes of zeros
    wide[at + 1] = 0;
    wide[at + 2] = 0x10;
  }
  no_pe[0x80] = 'Q';
  busy[0x178 + 2 * 40 + 5] = 0x42;  // something lives after the section table
  PeRecipe packed, signed_stub, full;
  packed.last_name = ".tvpkg";
  signed_stub.certificate_size = 64;
  full.sections = 3;  // their headers end 16 bytes before SizeOfHeaders
  full.size_of_headers = 0x200;
  const std::pair<std::vector<uint8_t>, const char*> cases[] = {
      {not_mz, "no MZ header"},
      {no_pe, "no PE signature"},
      {std::vector<uint8_t>(good.begin(), good.end() - 100), "truncated"},
      {make_pe(packed), "already carries a package section"},
      {make_pe(signed_stub), "is signed"},
      {make_pe(full), "no room in its headers"},
      {busy, "no room in its headers"},
      {wide, "invalid section or file alignment"},
  };
  std::vector<uint8_t> blob(64);
  for (const auto& [bytes, phrase] : cases) {
    const auto& stub = bytes;  // a lambda may not capture a structured binding before C++20
    std::string why = refusal([&] { tvpack::add_package_section(stub, {&blob}); });
    EXPECT_NE(why.find(phrase), std::string::npos) << "expected: " << phrase << "; got: " << why;
  }
}

// The fields of a header as numbers, in the order of the table below.
std::vector<uint64_t> fields(const tv::PeSectionHeader& s) {
  uint64_t name = 0;
  for (int i = 0; i < 8; ++i) name |= uint64_t(s.raw_name[i]) << (8 * i);
  return {name, s.virtual_size, s.virtual_address, s.raw_size, s.raw_pointer, s.characteristics};
}

// Every byte of a section header changes the one field that lies there (none for the
// relocation and line-number fields at 24 to 35), as the base reads it and as the
// maker's parse_pe does; the writer puts every field back where the reader finds it.
TEST(SectionHeader, EachByteBelongsToItsFieldForTheBaseAndTheMaker) {
  const struct {
    uint32_t from, to;  // bytes [from, to) of the header
    int field;          // index in fields(), -1: none
  } kBytes[] = {{0, 8, 0}, {8, 12, 1}, {12, 16, 2}, {16, 20, 3}, {20, 24, 4}, {24, 36, -1}, {36, 40, 5}};
  PeRecipe plus;
  plus.pe32plus = true;
  for (const PeRecipe& r : {PeRecipe{}, plus}) {
    std::vector<uint8_t> file = make_pe(r);
    tv::PeHeaders pe;
    ASSERT_EQ(tv::read_pe_headers(file.data(), file.size(), &pe), tv::PeHeadersRead::kOk);
    const std::vector<uint64_t> before = fields(tv::pe_section_header(file.data(), pe, 1));
    for (const auto& range : kBytes) {
      for (uint32_t at = range.from; at < range.to; ++at) {
        std::vector<uint8_t> changed = file;
        changed[pe.section_table + 40 + at] ^= 0x01;  // the second header; raw data stays in the file
        std::vector<uint64_t> base = fields(tv::pe_section_header(changed.data(), pe, 1));
        PeLayout maker;
        std::string why = refusal([&] { maker = layout(changed); });
        if (why.empty())
          EXPECT_EQ(base, fields(maker.sections[1])) << "byte " << at;
        else  // the maker refuses raw data that the file does not hold
          EXPECT_GT(base[3] + base[4], changed.size()) << "byte " << at << ": " << why;
        for (int f = 0; f < 6; ++f)
          EXPECT_EQ(base[f] != before[f], f == range.field) << "byte " << at << ", field " << f;
        std::vector<uint8_t> written = file;
        tv::put_pe_section_header(written.data() + pe.section_table + 40, tv::pe_section_header(changed.data(), pe, 1));
        for (uint32_t b = 0; b < 40; ++b)
          EXPECT_EQ(written[pe.section_table + 40 + b], range.field < 0 ? file[pe.section_table + 40 + b]
                                                                        : changed[pe.section_table + 40 + b])
              << "byte " << at << " written back, byte " << b;
      }
    }
  }
}

// The maker takes a section for the package section exactly when the installer does:
// all eight bytes of its name, so ".tvpkg" followed by more is another section.
TEST(SectionHeader, OnlyTheWholeNameIsThePackageSection) {
  const struct {
    std::string name;
    bool package;
  } kNames[] = {{".tvpkg", true},
                {std::string(".tvpkg\0X", 8), false},
                {std::string(".tvpkg\0\0", 8), true},
                {".tvpkgX", false},
                {".tvpk", false},
                {".TVPKG", false}};
  for (const auto& t : kNames) {
    PeRecipe r;
    r.last_name = t.name;
    std::vector<uint8_t> stub = make_pe(r);
    PeLayout pe = layout(stub);
    EXPECT_EQ(tvpack::find_package_section(pe) != nullptr, t.package) << tvpack::printable(t.name);
    tv::PeHeaders headers;
    ASSERT_EQ(tv::read_pe_headers(stub.data(), stub.size(), &headers), tv::PeHeadersRead::kOk);
    EXPECT_EQ(tv::is_package_section(tv::pe_section_header(stub.data(), headers, 1)), t.package);
    // A stub whose section only looks like it takes the package, which the installer finds.
    if (!t.package) pack_and_check(stub, 9);
  }
}

// The kind of program a file is (which Wine runs it, for try), read safely from any bytes.
TEST(PeBits, TheKindOfProgramIsReadWithinTheFile) {
  std::vector<uint8_t> pe32 = make_pe(PeRecipe{});
  PeRecipe wide;
  wide.pe32plus = true;
  std::vector<uint8_t> pe64 = make_pe(wide);
  uint32_t header = le32_at(pe32, 0x3C);
  auto with = [](std::vector<uint8_t> b, size_t at, uint8_t value) {
    b.at(at) = value;
    return b;
  };
  auto cut = [](const std::vector<uint8_t>& b, size_t size) {
    return std::vector<uint8_t>(b.begin(), b.begin() + long(size));
  };
  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
    int bits;
  } cases[] = {
      {"a PE32 image", pe32, 32},
      {"a PE32+ image", pe64, 64},
      {"empty", {}, 0},
      {"MZ alone", {'M', 'Z'}, 0},
      {"cut inside the DOS header", cut(pe32, 0x3F), 0},
      {"cut before the optional header's magic", cut(pe32, header + 25), 0},
      {"the magic's last byte", cut(pe32, header + 26), 32},
      {"no MZ", with(pe32, 0, 'X'), 0},
      {"no PE signature", with(pe32, header, 'X'), 0},
      {"a header pointer past the end", with(pe32, 0x3F, 0x7F), 0},
      {"a header pointer at the end", with(with(pe32, 0x3C, uint8_t(pe32.size())), 0x3D, uint8_t(pe32.size() >> 8)), 0},
      {"a ROM image's magic", with(pe32, header + 24, 0x07), 0},
  };
  for (const auto& t : cases) EXPECT_EQ(tvpack::pe_bits(t.bytes), t.bits) << t.what;
}

}  // namespace
