// What the maker writes, read back by the installer's own code (package section,
// unpack_blob, the script readers) and by inspect; damage reported; nothing left
// behind on failure.
#include <zlib.h>

#include <set>
#include <sstream>

#include "assemble/compress.h"
#include "common/errors.h"
#include "read/inspect.h"
#include "assemble/build.h"
#include "assemble/package_size.h"
#include "pack_test_support.h"
#include "package/container.h"
#include "package/script.h"
#include "package/writer.h"
#include "base/package_section.h"
#include "base/text16.h"

namespace {

using namespace packtest;
using Bytes = std::vector<uint8_t>;

// The install script an installer file carries, through the installer's code.
Bytes unpacked_script(const fs::path& installer, uint32_t* n = nullptr) {
  Bytes file = read_bytes(installer);
  tv::PackageView view;
  if (!tv::find_package_in_file(file.data(), file.size(), &view)) return {};
  if (n) *n = view.n;
  // The maker's filler between the container's bytes is zero (it compresses away).
  size_t nonzero = 0;
  for (size_t i = 1; i < 2 * size_t(view.n); i += 2) nonzero += view.blob[i] != 0;
  EXPECT_EQ(nonzero, 0u) << "odd bytes of the stored blob that are not zero";
  EXPECT_EQ(tv::unpack_blob(view.blob, view.n, view.key), tv::UnpackError::kOk);
  Bytes script(tv::script_start(), tv::script_start() + tv::script_length());
  tv::free_script();
  return script;
}

// A script's sections as the installer's readers see them, as one comparable text.
std::u16string read_sections(Bytes script) {
  tv::set_script(script.data(), uint32_t(script.size()));
  tv::ScriptCursor c = tv::script_cursor();
  std::u16string out;
  int32_t count = 0, version = 0, size = 0;
  char16_t* s = nullptr;
  EXPECT_TRUE(tv::read_int(c, &version) && tv::read_int(c, &count));
  out += u"version " + std::u16string(1, char16_t(u'0' + version)) + u"\n";
  for (int32_t i = 0; i < 2 * count && tv::read_string(c, &s); ++i) out += tv::u16string_at(s) + (i % 2 ? u"\n" : u"=");
  EXPECT_TRUE(tv::read_int(c, &count));
  for (int32_t i = 0; i < count && tv::read_string(c, &s) && tv::read_int(c, &size); ++i) {
    out += tv::u16string_at(s) + u" ";
    for (int32_t k = 0; k < size; ++k) out += char16_t(c.pos[k]);
    out += u"\n";
    EXPECT_TRUE(tv::skip_bytes(c, uint32_t(size)));
  }
  EXPECT_TRUE(tv::read_string(c, &s));
  out += tv::u16string_at(s);
  EXPECT_EQ(c.pos, c.end) << "bytes after the shortcuts section";
  tv::set_script(nullptr, 0);
  return out;
}

class RoundTrip : public ::testing::Test {
 protected:
  void SetUp() override { stub_ = any_stub(dir_); }
  std::string inspect(const fs::path& file, std::string* listing = nullptr) {
    std::ostringstream out;
    std::string problem = tvpack::inspect_file(file, out);
    if (listing) *listing = out.str();
    return problem;
  }
  TempDir dir_;
  fs::path stub_;
};

TEST_F(RoundTrip, TheInstallerReadsBackWhatWasBuiltAndInspectListsIt) {
  dir_.write("pkg/Talvenor.exe", "MZ\x01\x02");
  dir_.write("pkg/data/odd.bin", "odd");
  dir_.write("pkg/data/empty.dat", "");
  dir_.write("pkg/data/深/说明.txt", "zh");
  fs::path manifest = dir_.write("pkg/manifest.toml",
                                 "[[variable]]\nname = \"{AppName}\"\nvalue = \"塔文诺\"\n"
                                 "[[variable]]\nname = \"{App}\"\nvalue = 'D:\\Kesta'\n"
                                 "[[variable]]\nname = \"{Launch}\"\nvalue = '{App}\\Talvenor.exe'\n"
                                 "[[file]]\nsource = \"Talvenor.exe\"\ndestination = '{Launch}'\n"
                                 "[[tree]]\nsource = \"data\"\ndestination = '{App}\\data'\n"
                                 "[[shortcut]]\ntarget = '{Launch}'\nlocation = '{Desktop}\\塔文诺'\n");
  tvpack::BuildSummary summary = tvpack::build_installer(manifest, stub_, 0x2C7E13A5u, dir_ / "setup.exe");
  uint32_t n = 0;
  Bytes script = unpacked_script(dir_ / "setup.exe", &n);
  EXPECT_EQ(n, summary.container_size);
  EXPECT_EQ(script.size(), summary.script_size);
  EXPECT_EQ(read_sections(script),
            u"version 1\n{AppName}=塔文诺\n{App}=D:\\Kesta\n{Launch}={App}\\Talvenor.exe\n"
            u"{Launch} MZ\x01\x02\n{App}\\data\\empty.dat \n{App}\\data\\odd.bin odd\n{App}\\data\\深\\说明.txt zh\n"
            u"icon\n{Launch}\n\n{Desktop}\\塔文诺");
  std::string listing;
  EXPECT_EQ(inspect(dir_ / "setup.exe", &listing), "");
  // inspect says the room that the build said: the installer's own check, both times.
  EXPECT_EQ(summary.room, 244u);
  for (const std::string line :
       {std::string("format version: 1\nvariables: 3\n  {AppName} = 塔文诺   (the install dialog's caption"),
        std::string("  {Launch} = {App}\\Talvenor.exe   -> D:\\Kesta\\Talvenor.exe\n"),
        "install folder: D:\\Kesta (the install dialog's default, {App} below)\ninstall folder up to " +
            std::to_string(summary.room) + " characters (the installer's own check)\nfiles: 4\n",
        std::string("  {App}\\data\\odd.bin  (3 bytes)   -> D:\\Kesta\\data\\odd.bin\n"),
        std::string("shortcuts: 1 (1 records in 4 lines)\n  line 1: target={Launch} arguments= "
                    "location={Desktop}\\塔文诺   -> {Desktop}\\塔文诺.lnk starting D:\\Kesta\\Talvenor.exe\n")})
    EXPECT_NE(listing.find(line), std::string::npos) << line << "\nin:\n" << listing;
}

TEST_F(RoundTrip, WrappedScriptsComeBackAsTheyWentInForEveryLevelAndLengthModuloFour) {
  std::set<int> levels = {tvpack::kMinLevel, 6, 9, tvpack::kMaxLevel};
  for (int level : levels) {
    std::set<uint32_t> remainders;
    tvpack::BuildOptions options;
    options.level = level;
    for (size_t size : {0, 1, 2, 3, 5, 8, 13, 21, 34, 55, 89, 1000, 65537}) {
      Bytes script = pattern(size, uint32_t(size));
      uint32_t n = tvpack::wrap_script(dir_.write("s.bin", script), stub_, 0x12345678u, dir_ / "w.exe", options);
      remainders.insert(n % 4);
      uint32_t read_n = 0;
      EXPECT_EQ(unpacked_script(dir_ / "w.exe", &read_n), script) << size << " bytes, level " << level;
      EXPECT_EQ(read_n, n);
    }
    EXPECT_EQ(remainders.size(), 4u) << "the sizes above no longer cover every N % 4 at level " << level;
  }
}

// A script compressed piece by piece is still one stream that zlib reads whole, the
// same bytes every time; pieces of text, random bytes and runs end on every kind of
// block the compressor writes.
TEST(Compression, PiecesJoinIntoOneZlibStream) {
  Bytes script;
  std::string text = "install folder shortcut 安装 文件 package version\n";
  for (int i = 0; i < 3; ++i) {
    for (size_t k = 0; k < 7000; ++k) script.push_back(uint8_t(text[(k * 7 + k / 13) % text.size()]));
    Bytes noise = pattern(5000 + 1000 * size_t(i), uint32_t(i));
    script.insert(script.end(), noise.begin(), noise.end());
    script.insert(script.end(), 3000, uint8_t(i));
  }
  for (int level : {tvpack::kMinLevel, 6, 9, tvpack::kMaxLevel}) {
    for (size_t piece : {size_t(1000), size_t(4097), size_t(1) << 20}) {
      std::vector<uint64_t> reported;
      Bytes stream = tvpack::compress_script(script, level, [&](uint64_t done) { reported.push_back(done); }, piece);
      Bytes back(script.size());
      uLongf back_size = uLongf(back.size());
      ASSERT_EQ(uncompress(back.data(), &back_size, stream.data(), uLong(stream.size())), Z_OK)
          << "level " << level << ", pieces of " << piece;
      EXPECT_TRUE(back_size == script.size() && back == script) << "level " << level << ", pieces of " << piece;
      EXPECT_EQ(reported.size(), (script.size() + piece - 1) / piece);
      EXPECT_EQ(reported.back(), script.size());
      EXPECT_EQ(tvpack::compress_script(script, level, nullptr, piece), stream) << "not reproducible";
    }
  }
}

TEST_F(RoundTrip, WrappedBlobsGoInAsTheyAre) {
  Bytes blob = pattern(2 * 1023, 5);
  EXPECT_EQ(tvpack::wrap_blob(dir_.write("blob.bin", blob), stub_, 99, dir_ / "b.exe"), 1023u);
  Bytes file = read_bytes(dir_ / "b.exe");
  tv::PackageView view;
  ASSERT_TRUE(tv::find_package_in_file(file.data(), file.size(), &view));
  EXPECT_TRUE(view.n == 1023 && view.key == 99 && std::equal(blob.begin(), blob.end(), view.blob));
  try {
    tvpack::wrap_blob(dir_.write("odd.bin", pattern(2047, 5)), stub_, 99, dir_ / "odd.exe");
    ADD_FAILURE() << "an odd-sized blob was embedded";
  } catch (const tvpack::PackError& e) {
    EXPECT_NE(std::string(e.what()).find("odd size (2047 bytes)"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(fs::exists(dir_ / "odd.exe"));
}

// Only what the installer refuses is an error, with the installer's own message.
TEST_F(RoundTrip, InspectSaysWhyTheInstallerRefusesAPackage) {
  tv::ScriptWriter cut, newer, unexpanded;
  cut.put_int(1), cut.put_int(1), cut.put_string(u"{App}"), cut.put_bytes("D\0", 2);
  newer.put_int(2), newer.put_int(0), newer.put_int(0), newer.put_string(u"");
  unexpanded.put_int(1), unexpanded.put_int(0), unexpanded.put_int(1), unexpanded.put_string(u"{Nope}\\x");
  unexpanded.put_int(0), unexpanded.put_string(u"");
  const std::pair<Bytes, std::string> cases[] = {
      {cut.bytes(), "a string is not terminated before the end of the install script (the installer shows "
                    "\"安装文件已损坏!\" and stops)"},
      {newer.bytes(), "the format version is newer than this installer reads (the installer shows "
                      "\"安装程序版本好错误!\" and stops)"},
      {unexpanded.bytes(), "a file path does not expand (the installer shows \"安装文件已损坏!\" and stops)"},
  };
  for (const auto& [script, problem] : cases) {
    tvpack::wrap_script(dir_.write("s.bin", script), stub_, 1, dir_ / "d.exe");
    std::string listing;
    EXPECT_EQ(inspect(dir_ / "d.exe", &listing), problem);
    EXPECT_NE(listing.find("installer message: "), std::string::npos) << listing;
  }
  tvpack::wrap_blob(dir_.write("ff.bin", Bytes(600, 0xFF)), stub_, 0, dir_ / "ff.exe");
  EXPECT_EQ(inspect(dir_ / "ff.exe"), std::string(tv::describe_unpack_error(tv::UnpackError::kBadTrailer)) +
                                          " (the installer shows \"安装文件已损坏!\" and stops)");
  EXPECT_EQ(inspect(stub_), "carries no package section (.tvpkg)");
}

// Irregular variables and shortcuts sections the installer reads without complaint:
// inspect shows what it makes of them and reports no error.
TEST_F(RoundTrip, InspectShowsTheInstallersReadingOfIrregularSections) {
  tv::ScriptWriter w;
  w.put_int(-1), w.put_int(6);
  for (const char16_t* pair : {u"{Late}", u"{Early}\\late", u"{App}", u"E:\\Apps\\\\\\", u"{Early}", u"{App}\\early",
                               u"{Bad}", u"{Nope}\\x", u"{Twice}", u"one", u"{Twice}", u"two"})
    w.put_string(pair);
  w.put_int(0);
  w.put_string(u"note\nicon\n{Early}\\a.exe\n-x {Late}\n{Desktop}\\A\nicon\r\nicon\nicon\n{App}\\b\n\nnoslash\n"
               u"stray\nicon\n{App}\\c.exe\n");
  tvpack::wrap_script(dir_.write("s.bin", w.bytes()), stub_, 1, dir_ / "odd.exe");
  std::string listing;
  EXPECT_EQ(inspect(dir_ / "odd.exe", &listing), "");
  for (const char* line : {
           "format version: -1\n",
           // {Late} comes before {Early}: the second reading gives it {Early} of the first
           // (from {App} as the script has it, backslashes and all).
           "  {Late} = {Early}\\late   -> E:\\Apps\\\\\\\\early\\late\n",
           "  {Early} = {App}\\early   -> E:\\Apps\\early\n",
           "  {Bad} = {Nope}\\x   (no value: the installer cannot expand it: uses {Nope}",
           "  {Twice} = one   (set again below)\n  {Twice} = two\n",
           "install folder: E:\\Apps (the install dialog's default, {App} below)\n",
           "shortcuts: 1 (3 records in 15 lines)\n  line 1: ignored \"note\"\n",
           "  line 2: target={Early}\\a.exe arguments=-x {Late} location={Desktop}\\A   -> {Desktop}\\A.lnk "
           "starting E:\\Apps\\early\\a.exe\n",
           "  line 6: ignored \"icon\\r\"\n",
           // The marker's record takes the next "icon" as its target.
           "  line 7: target=icon arguments={App}\\b location=   (no shortcut: the location has no backslash)\n",
           "  line 11: ignored \"noslash\"\n  line 12: ignored \"stray\"\n",
           "  line 13: target={App}\\c.exe arguments= location=   (no shortcut: the section ends inside this record)\n"})
    EXPECT_NE(listing.find(line), std::string::npos) << line << "\nin:\n" << listing;

  tv::ScriptWriter lf;  // a final line feed after a whole record
  lf.put_int(1), lf.put_int(0), lf.put_int(0), lf.put_string(u"icon\n{App}\\a.exe\n\nC:\\x\\A\n");
  tvpack::wrap_script(dir_.write("s.bin", lf.bytes()), stub_, 1, dir_ / "lf.exe");
  EXPECT_EQ(inspect(dir_ / "lf.exe", &listing), "");
  EXPECT_NE(listing.find("shortcuts: 1 (1 records in 5 lines)\n  line 1: target={App}\\a.exe arguments= "
                         "location=C:\\x\\A   -> C:\\x\\A.lnk starting D:\\Kesta\\a.exe\n"
                         "  line 5: ignored \"\" (after the final line feed)\n"),
            std::string::npos)
      << listing;

  // A shortcut's target is shown as the file it starts is: expanded alike.
  tv::ScriptWriter both;
  both.put_int(1), both.put_int(0), both.put_int(1), both.put_string(u"{AppData}\\Dawn\\Dawn.exe"), both.put_int(1);
  both.put_bytes("x", 1), both.put_string(u"icon\n{AppData}\\Dawn\\Dawn.exe\n\n{Desktop}\\Dawn");
  tvpack::wrap_script(dir_.write("s.bin", both.bytes()), stub_, 1, dir_ / "both.exe");
  EXPECT_EQ(inspect(dir_ / "both.exe", &listing), "");
  const std::string shown = "C:\\Users\\Tester\\AppData\\Roaming\\Dawn\\Dawn.exe";
  for (const std::string& line : {"  {AppData}\\Dawn\\Dawn.exe  (1 bytes)   -> " + shown + "\n",
                                  "-> {Desktop}\\Dawn.lnk starting " + shown + "\n"})
    EXPECT_NE(listing.find(line), std::string::npos) << line << "\nin:\n" << listing;
}

TEST_F(RoundTrip, FailuresLeaveNoOutputAndKeepAnOldOne) {
  fs::path script = dir_.write("s.bin", pattern(100, 1));
  fs::create_directories(dir_ / "out/setup.exe");  // a folder in the way of the output
  EXPECT_THROW(tvpack::wrap_script(script, stub_, 1, dir_ / "out/setup.exe"), tvpack::PackError);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "out"), fs::directory_iterator()), 1);
  tvpack::wrap_script(script, stub_, 1, dir_ / "packed.exe");
  Bytes before = read_bytes(dir_ / "packed.exe");
  EXPECT_THROW(tvpack::wrap_script(dir_ / "missing.bin", stub_, 1, dir_ / "packed.exe"), tvpack::PackError);
  EXPECT_THROW(tvpack::wrap_script(script, dir_ / "packed.exe", 1, dir_ / "packed.exe"), tvpack::PackError);
  EXPECT_EQ(read_bytes(dir_ / "packed.exe"), before);
}

}  // namespace

// The ceilings: 1.5 GiB of script and 1.5 GiB of stored blob (twice the container),
// each said with how far it is over; 2N + U over 1 GiB builds, with a note.
TEST(PackageSize, CeilingsAndTheNoteFor64BitWindows) {
  const uint64_t mib = 1 << 20, ceiling = 1536 * mib;
  struct Case {
    uint64_t n, u;
    unsigned pointer_bytes;
    const char *script, *package, *note;  // a phrase each says, or "" for none
  } cases[] = {
      {256 * mib, 512 * mib, 8, "", "", ""},  // 2N + U exactly 1 GiB
      {256 * mib, 512 * mib + 1, 8, "", "", "needs 64-bit Windows"},
      {ceiling / 2, ceiling, 8, "", "", "3072 MiB"},  // both at their ceilings
      {0, ceiling + 1, 8, "1 bytes over the limit of 1.5 GiB (1610612736 bytes)", "", "1537 MiB"},
      {ceiling / 2 + 1, 0, 8, "", "2 bytes over the limit of 1.5 GiB", "1537 MiB"},
      {900 * mib, 100 * mib, 8, "", "264 MiB) over", "1900 MiB"},
      {0, 512 * mib, 4, "", "", ""},
      {0, 512 * mib + 1, 4, "over the limit of 512 MiB (536870912 bytes) that this 32-bit maker", "", ""},
  };
  for (const Case& c : cases) {
    std::string script = tvpack::script_size_problem(c.u, c.pointer_bytes);
    std::string package = tvpack::package_size_problem(c.n);
    std::string note = tvpack::needs_64bit_windows(c.n, c.u);
    SCOPED_TRACE(std::to_string(c.n) + " " + std::to_string(c.u));
    for (auto [said, phrase] : {std::pair{script, c.script}, {package, c.package}, {note, c.note}}) {
      EXPECT_EQ(said.empty(), *phrase == 0) << said;
      EXPECT_NE(said.find(phrase), std::string::npos) << said;
    }
    if (c.pointer_bytes == 8 && !(script + package).empty()) {
      EXPECT_NE((script + package).find("1.5 GiB of install script and 1.5 GiB of stored package"), std::string::npos);
    }
  }
}
