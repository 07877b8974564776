// try's pieces that need no Wine: where a Windows path of the prefix lies on the host
// (what the check compares), and the kind of program a file is (which Wine runs it),
// read safely from any bytes.
#include "errors.h"
#include "pack_test_support.h"
#include "try.h"

namespace {

using namespace packtest;

TEST(TryPaths, WindowsPathsMapOntoThePrefixDrives) {
  TempDir dir;
  fs::path prefix = dir / "prefix";
  fs::path drive_d = dir / "elsewhere";
  fs::create_directories(prefix / "drive_c" / "users" / "Me" / "Desktop");
  fs::create_directories(prefix / "dosdevices");
  fs::create_directories(drive_d / "Kesta");
  fs::create_directory_symlink("../drive_c", prefix / "dosdevices" / "c:");
  fs::create_directory_symlink(drive_d, prefix / "dosdevices" / "d:");
  fs::path c = fs::canonical(prefix / "drive_c"), d = fs::canonical(drive_d);
  const struct {
    std::u16string windows;
    fs::path host;  // empty: on no drive of the prefix
  } cases[] = {
      {u"C:\\users\\me\\DESKTOP\\塔文诺.lnk", c / "users" / "Me" / "Desktop" / "塔文诺.lnk"},
      {u"c:/Users/Me", c / "users" / "Me"},
      {u"D:\\kesta\\new\\a.txt", d / "Kesta" / "new" / "a.txt"},
      {u"D:\\Kesta\\\\.\\b.txt", d / "Kesta" / "b.txt"},
      {u"D:\\", d},
      {u"D:\\..\\..\\etc\\passwd", d / "etc" / "passwd"},
      {u"D:\\Kesta\\..\\..\\x", d / "x"},
      {u"E:\\x", {}},
      {u"Z:\\etc\\passwd", {}},
      {u"\\\\server\\share\\x", {}},
      {u"\\x", {}},
      {u"C:relative", {}},
      {u"1:\\x", {}},
      {u"", {}},
  };
  for (const auto& t : cases) {
    EXPECT_EQ(tvpack::map_windows_path(prefix, t.windows), t.host) << tvpack::quote(t.windows);
  }
}

TEST(TryPrograms, TheKindOfProgramIsReadWithinTheFile) {
  std::vector<uint8_t> pe32 = make_pe(PeRecipe{});
  PeRecipe wide;
  wide.pe32plus = true;
  std::vector<uint8_t> pe64 = make_pe(wide);
  uint32_t header = le32_at(pe32, 0x3C);
  auto with = [](std::vector<uint8_t> b, size_t at, uint8_t value) {
    b.at(at) = value;
    return b;
  };
  auto cut = [](const std::vector<uint8_t>& b, size_t size) { return std::vector<uint8_t>(b.begin(), b.begin() + size); };
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
