// Adding the package section to a stub: the new section and the headers that
// describe it, the checksum, the loader's view, and the stubs that are refused.
#include <set>
#include <stdexcept>

#include "pack_test_support.h"
#include "pe_image.h"
#include "platform/package_section.h"

namespace {

using namespace packtest;
using tvpack::add_package_section;
using tvpack::PeLayout;

const uint32_t kKey = 0x2C7E13A5u;

struct Packed {
  std::vector<uint8_t> file;
  PeLayout before, after;
};

// The whole installer file for a stub and a blob, and both layouts.
Packed pack(const std::vector<uint8_t>& stub, const std::vector<uint8_t>& blob) {
  std::vector<uint8_t> header = tvpack::package_section_header(uint32_t(blob.size() / 2), kKey);
  tvpack::PackagedImage img = add_package_section(stub, {&header, &blob});
  Packed p;
  p.file = img.head;
  p.file.resize(img.section_offset, 0);
  p.file.insert(p.file.end(), header.begin(), header.end());
  p.file.insert(p.file.end(), blob.begin(), blob.end());
  p.file.resize(img.total_size, 0);
  std::string why;
  EXPECT_TRUE(tvpack::parse_pe(stub.data(), stub.size(), &p.before, &why)) << why;
  EXPECT_TRUE(tvpack::parse_pe(p.file.data(), p.file.size(), &p.after, &why)) << why;
  return p;
}

uint64_t align(uint64_t x, uint32_t a) { return (x + a - 1) / a * a; }

// Every header field the section changes, and nothing else of the stub.
void expect_consistent(const Packed& p, const std::vector<uint8_t>& stub, size_t content) {
  const PeLayout &b = p.before, &a = p.after;
  ASSERT_EQ(a.section_count, b.section_count + 1);
  const tvpack::PeSection& s = a.sections.back();
  EXPECT_EQ(s.name, ".tvpkg");
  EXPECT_EQ(s.characteristics, 0x40000040u);  // initialised data, read-only
  EXPECT_EQ(s.virtual_size, content);
  EXPECT_EQ(s.raw_size, align(content, b.file_alignment));
  EXPECT_EQ(s.raw_pointer, align(stub.size(), b.file_alignment));
  // After every section as the loader maps it (VirtualSize, or the raw size when 0).
  uint64_t end_of_last = 0;
  for (const auto& old : b.sections) {
    uint32_t extent = old.virtual_size ? old.virtual_size : old.raw_size;
    end_of_last = std::max<uint64_t>(end_of_last, old.virtual_address + extent);
  }
  EXPECT_EQ(s.virtual_address, align(end_of_last, b.section_alignment));
  EXPECT_GE(s.virtual_address, b.size_of_image);
  EXPECT_EQ(a.size_of_image, s.virtual_address + align(content, b.section_alignment));
  EXPECT_EQ(a.size_of_initialized_data, b.size_of_initialized_data + s.raw_size);
  EXPECT_EQ(a.size_of_headers, b.size_of_headers);
  EXPECT_EQ(p.file.size(), s.raw_pointer + s.raw_size);
  EXPECT_EQ(a.checksum, tvpack::pe_checksum(p.file.data(), p.file.size(), a.checksum_offset));

  // Outside the changed fields and the new section header the stub is untouched,
  // overlay included.
  std::set<size_t> changed;
  auto mark = [&](size_t at, size_t len) {
    for (size_t i = 0; i < len; ++i) changed.insert(at + i);
  };
  mark(b.pe_offset + 6, 2);
  mark(b.optional_offset + 8, 4);
  mark(b.optional_offset + 56, 4);
  mark(b.checksum_offset, 4);
  mark(b.section_table + b.section_count * 40u, 40);
  size_t differing = 0;
  for (size_t i = 0; i < stub.size(); ++i) {
    if (!changed.count(i) && stub[i] != p.file[i]) ++differing;
  }
  EXPECT_EQ(differing, 0u);
}

TEST(PackageSection, HeadersDescribeTheNewSection) {
  for (bool plus : {false, true}) {
    for (size_t overlay : {size_t(0), size_t(333), size_t(512)}) {
      SCOPED_TRACE(std::string(plus ? "PE32+" : "PE32") + ", overlay " + std::to_string(overlay));
      PeRecipe r;
      r.pe32plus = plus;
      r.overlay = overlay;
      std::vector<uint8_t> stub = make_pe(r);
      std::vector<uint8_t> blob = pattern(2 * 1001, 7);
      expect_consistent(pack(stub, blob), stub, 16 + blob.size());
    }
  }
}

TEST(PackageSection, GoesAfterALastSectionThatIsLargerInMemoryThanOnDisk) {
  PeRecipe r;
  r.last_virtual_size = 0x2800;  // three pages in memory, one file alignment on disk
  std::vector<uint8_t> stub = make_pe(r);
  std::vector<uint8_t> blob = pattern(2 * 50, 1);
  Packed p = pack(stub, blob);
  expect_consistent(p, stub, 16 + blob.size());
  EXPECT_EQ(p.after.sections.back().virtual_address, 0x2000u + 0x3000u);
  tv::PackageView view;
  std::vector<uint8_t> image = map_image(p.file);
  EXPECT_TRUE(tv::find_package_in_image(image.data(), image.size(), &view));
}

TEST(PackageSection, LoaderFindsTheWholeBlobForEveryLengthModuloFour) {
  std::vector<uint8_t> stub = make_pe(PeRecipe{});
  for (uint32_t n : {8u, 9u, 10u, 11u, 4093u, 4094u, 4095u, 4096u}) {
    SCOPED_TRACE("N = " + std::to_string(n));
    std::vector<uint8_t> blob = pattern(2 * n, n);
    Packed p = pack(stub, blob);
    std::vector<uint8_t> image = map_image(p.file);
    tv::PackageView view;
    ASSERT_TRUE(tv::find_package_in_image(image.data(), image.size(), &view));
    EXPECT_EQ(view.n, n);
    EXPECT_EQ(view.key, kKey);
    EXPECT_TRUE(std::equal(blob.begin(), blob.end(), view.blob));
    tv::PackageView from_file;
    ASSERT_TRUE(tv::find_package_in_file(p.file.data(), p.file.size(), &from_file));
    EXPECT_TRUE(std::equal(blob.begin(), blob.end(), from_file.blob));
  }
}

TEST(PackageSection, RealStubsKeepTheirSymbolTableAndGetAValidSection) {
  std::vector<fs::path> stubs = real_stubs();
  if (stubs.empty()) GTEST_SKIP() << "this build made no mingw stub";
  for (const fs::path& path : stubs) {
    SCOPED_TRACE(path.u8string());
    std::vector<uint8_t> stub = read_bytes(path);
    std::vector<uint8_t> blob = pattern(2 * 777, 3);
    Packed p = pack(stub, blob);
    expect_consistent(p, stub, 16 + blob.size());
    uint32_t symbols = le32_at(stub, p.before.pe_offset + 12);
    if (symbols != 0) {
      // The symbol table stays where its pointer says, ahead of the new section.
      EXPECT_EQ(le32_at(p.file, p.after.pe_offset + 12), symbols);
      EXPECT_LT(symbols, p.after.sections.back().raw_pointer);
    }
    std::vector<uint8_t> image = map_image(p.file);
    tv::PackageView view;
    ASSERT_TRUE(tv::find_package_in_image(image.data(), image.size(), &view));
    EXPECT_TRUE(std::equal(blob.begin(), blob.end(), view.blob));
  }
}

TEST(Checksum, AgreesWithTheLinkersChecksumOfRealStubs) {
  std::vector<fs::path> stubs = real_stubs();
  if (stubs.empty()) GTEST_SKIP() << "this build made no mingw stub";
  for (const fs::path& path : stubs) {
    SCOPED_TRACE(path.u8string());
    std::vector<uint8_t> stub = read_bytes(path);
    PeLayout pe;
    std::string why;
    ASSERT_TRUE(tvpack::parse_pe(stub.data(), stub.size(), &pe, &why)) << why;
    ASSERT_NE(pe.checksum, 0u) << "the linker left no checksum to compare with";
    EXPECT_EQ(tvpack::pe_checksum(stub.data(), stub.size(), pe.checksum_offset), pe.checksum);
  }
}

TEST(Checksum, PiecesOfAnyLengthSumLikeTheWhole) {
  std::vector<uint8_t> data = pattern(1001, 11);  // odd: the last byte is half a word
  const uint64_t field = 0x55;                     // an odd offset, so words straddle it
  uint32_t whole = tvpack::pe_checksum(data.data(), data.size(), field);
  for (size_t cut1 : {size_t(1), size_t(0x54), size_t(0x56), size_t(0x57), size_t(500)}) {
    for (size_t cut2 : {size_t(0x58), size_t(0x59), size_t(501), size_t(1000)}) {
      if (cut2 <= cut1) continue;
      tvpack::PeChecksum c(field);
      c.add(data.data(), cut1);
      c.add(data.data() + cut1, cut2 - cut1);
      c.add(data.data() + cut2, data.size() - cut2);
      EXPECT_EQ(c.finish(), whole) << "cuts at " << cut1 << " and " << cut2;
    }
  }
  // Zeros fed as zeros or by count sum alike, at odd and even positions.
  std::vector<uint8_t> padded(data);
  padded.insert(padded.end(), 37, 0);
  padded.push_back(0x9C);
  tvpack::PeChecksum c(field);
  c.add(data.data(), data.size());
  c.add_zeros(37);
  c.add(&padded.back(), 1);
  EXPECT_EQ(c.finish(), tvpack::pe_checksum(padded.data(), padded.size(), field));
  // The checksum field itself does not count.
  std::vector<uint8_t> other(data);
  other[field] ^= 0xFF;
  other[field + 3] ^= 0x0F;
  EXPECT_EQ(tvpack::pe_checksum(other.data(), other.size(), field), whole);
  other[field + 4] ^= 1;
  EXPECT_NE(tvpack::pe_checksum(other.data(), other.size(), field), whole);
}

void expect_refused(const std::vector<uint8_t>& stub, const std::string& phrase) {
  std::vector<uint8_t> blob(64);
  try {
    add_package_section(stub, {&blob});
    ADD_FAILURE() << "accepted; expected a refusal with \"" << phrase << "\"";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find(phrase), std::string::npos) << e.what();
  }
}

TEST(PackageSection, RefusesStubsItCannotExtend) {
  std::vector<uint8_t> good = make_pe(PeRecipe{});

  std::vector<uint8_t> not_mz(good);
  not_mz[0] = 'X';
  expect_refused(not_mz, "no MZ header");

  std::vector<uint8_t> no_pe(good);
  no_pe[0x80] = 'Q';
  expect_refused(no_pe, "no PE signature");

  std::vector<uint8_t> truncated(good.begin(), good.end() - 100);
  expect_refused(truncated, "truncated");

  PeRecipe packed;
  packed.last_section_name = ".tvpkg";
  expect_refused(make_pe(packed), "already carries a package section");

  PeRecipe signed_stub;
  signed_stub.overlay = 64;
  signed_stub.certificate_size = 64;
  expect_refused(make_pe(signed_stub), "is signed");

  // Three section headers end 16 bytes before SizeOfHeaders: no room for a fourth.
  PeRecipe full;
  full.sections = 3;
  full.size_of_headers = 0x200;
  expect_refused(make_pe(full), "no room in its headers");

  // Room by size, but something lives in the bytes after the section table.
  std::vector<uint8_t> busy(good);
  busy[0x178 + 2 * 40 + 5] = 0x42;
  expect_refused(busy, "no room in its headers");
}

}  // namespace
