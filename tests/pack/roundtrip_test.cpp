// What the maker writes, read back by the installer's own code (the package section,
// unpack_blob, the script readers) and by inspect; reproducibility; no output left
// behind on failure.
#include <set>
#include <sstream>

#include "errors.h"
#include "inspect.h"
#include "pack.h"
#include "pack_test_support.h"
#include "package/container.h"
#include "package/script.h"
#include "package/writer.h"
#include "platform/package_section.h"
#include "platform/text16.h"

namespace {

using namespace packtest;

const uint32_t kKey = 0x2C7E13A5u;

// The install script carried by an installer file, through the installer's code.
std::vector<uint8_t> unpacked_script(const fs::path& installer, uint32_t* n = nullptr) {
  std::vector<uint8_t> file = read_bytes(installer);
  tv::PackageView view;
  EXPECT_TRUE(tv::find_package_in_file(file.data(), file.size(), &view));
  if (view.blob == nullptr) return {};
  if (n) *n = view.n;
  EXPECT_EQ(tv::unpack_blob(view.blob, view.n, view.key), tv::UnpackError::kOk);
  std::vector<uint8_t> script(tv::script_start(), tv::script_start() + tv::script_length());
  tv::free_script();
  return script;
}

class RoundTrip : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<fs::path> stubs = real_stubs();
    stub_ = stubs.empty() ? dir_.write("stub.exe", make_pe(PeRecipe{})) : stubs.front();
  }
  TempDir dir_;
  fs::path stub_;
};

TEST_F(RoundTrip, InstallerReadsBackEverySectionOfABuiltPackage) {
  std::vector<uint8_t> odd = pattern(12345, 1), binary = pattern(4096, 2);
  dir_.write("pkg/Talvenor.exe", binary);
  dir_.write("pkg/data/odd.bin", odd);
  dir_.write("pkg/data/empty.dat", std::string());
  dir_.write("pkg/data/深/说明.txt", "中文内容\n");
  fs::path manifest = dir_.write("pkg/manifest.toml",
                                 "[[variable]]\nname = \"{AppName}\"\nvalue = \"塔文诺\"\n"
                                 "[[variable]]\nname = \"{App}\"\nvalue = 'D:\\Kesta'\n"
                                 "[[variable]]\nname = \"{Launch}\"\nvalue = '{App}\\Talvenor.exe'\n"
                                 "[[file]]\nsource = \"Talvenor.exe\"\ndestination = '{App}\\Talvenor.exe'\n"
                                 "[[tree]]\nsource = \"data\"\ndestination = '{App}\\data'\n"
                                 "[[shortcut]]\ntarget = '{Launch}'\nlocation = '{Desktop}\\塔文诺'\n");
  tvpack::BuildSummary summary = tvpack::build_installer(manifest, stub_, kKey, dir_ / "setup.exe");
  EXPECT_EQ(summary.files, 4u);

  uint32_t n = 0;
  std::vector<uint8_t> script = unpacked_script(dir_ / "setup.exe", &n);
  EXPECT_EQ(n, summary.container_size);
  ASSERT_EQ(script.size(), summary.script_size);
  tv::set_script(script.data(), uint32_t(script.size()));
  tv::ScriptCursor c = tv::script_cursor();
  int32_t v = 0;
  char16_t *a = nullptr, *b = nullptr;
  ASSERT_TRUE(tv::read_int(c, &v));
  EXPECT_EQ(v, 1);
  ASSERT_TRUE(tv::read_int(c, &v));
  ASSERT_EQ(v, 3);
  const std::u16string vars[3][2] = {
      {u"{AppName}", u"塔文诺"}, {u"{App}", u"D:\\Kesta"}, {u"{Launch}", u"{App}\\Talvenor.exe"}};
  for (const auto& pair : vars) {
    ASSERT_TRUE(tv::read_string(c, &a) && tv::read_string(c, &b));
    EXPECT_EQ(std::u16string(a), pair[0]);
    EXPECT_EQ(std::u16string(b), pair[1]);
  }
  ASSERT_TRUE(tv::read_int(c, &v));
  ASSERT_EQ(v, 4);
  struct Expected {
    std::u16string path;
    std::vector<uint8_t> content;
  };
  std::string chinese = "中文内容\n";
  const Expected files[] = {{u"{App}\\Talvenor.exe", binary},
                            {u"{App}\\data\\empty.dat", {}},
                            {u"{App}\\data\\odd.bin", odd},
                            {u"{App}\\data\\深\\说明.txt", {chinese.begin(), chinese.end()}}};
  for (const auto& f : files) {
    int32_t size = -1;
    ASSERT_TRUE(tv::read_string(c, &a) && tv::read_int(c, &size));
    EXPECT_EQ(std::u16string(a), f.path);
    ASSERT_EQ(size_t(size), f.content.size());
    EXPECT_TRUE(std::equal(f.content.begin(), f.content.end(), c.pos));
    ASSERT_TRUE(tv::skip_bytes(c, uint32_t(size)));
  }
  ASSERT_TRUE(tv::read_string(c, &a));
  EXPECT_EQ(std::u16string(a), u"icon\n{Launch}\n\n{Desktop}\\塔文诺");
  EXPECT_EQ(c.pos, c.end);
  tv::set_script(nullptr, 0);

  std::ostringstream listing;
  EXPECT_EQ(tvpack::inspect_file(dir_ / "setup.exe", listing), "");
  std::string text = listing.str();
  const char* lines[] = {"format version: 1\n",
                         "variables: 3\n",
                         "  {AppName} = 塔文诺\n",
                         "  {Launch} = {App}\\Talvenor.exe   -> D:\\Kesta\\Talvenor.exe\n",
                         "files: 4\n",
                         "  {App}\\data\\odd.bin  (12345 bytes)\n",
                         "  {App}\\data\\empty.dat  (0 bytes)\n",
                         "shortcuts: 1\n",
                         "  icon: target={Launch} arguments= location={Desktop}\\塔文诺\n"};
  for (const char* line : lines) EXPECT_NE(text.find(line), std::string::npos) << line << "in:\n" << text;
}

TEST_F(RoundTrip, WrappedScriptsComeBackAsTheyWentInForEveryLengthModuloFour) {
  std::set<uint32_t> remainders;
  for (size_t size : {0, 1, 2, 3, 5, 8, 13, 21, 34, 55, 89, 1000, 65537}) {
    SCOPED_TRACE("script of " + std::to_string(size) + " bytes");
    std::vector<uint8_t> script = pattern(size, uint32_t(size));
    fs::path in = dir_.write("script.bin", script);
    uint32_t n = tvpack::wrap_script(in, stub_, 0x12345678u, dir_ / "w.exe");
    remainders.insert(n % 4);
    uint32_t read_n = 0;
    EXPECT_EQ(unpacked_script(dir_ / "w.exe", &read_n), script);
    EXPECT_EQ(read_n, n);
  }
  EXPECT_EQ(remainders.size(), 4u) << "the sizes above no longer cover every N % 4";
}

TEST_F(RoundTrip, WrappedBlobIsEmbeddedAsItIs) {
  std::vector<uint8_t> blob = pattern(2 * 1023, 5);
  fs::path in = dir_.write("blob.bin", blob);
  EXPECT_EQ(tvpack::wrap_blob(in, stub_, 99, dir_ / "b.exe"), 1023u);
  std::vector<uint8_t> file = read_bytes(dir_ / "b.exe");
  tv::PackageView view;
  ASSERT_TRUE(tv::find_package_in_file(file.data(), file.size(), &view));
  EXPECT_EQ(view.n, 1023u);
  EXPECT_EQ(view.key, 99u);
  EXPECT_TRUE(std::equal(blob.begin(), blob.end(), view.blob));

  // Its damage is what inspect reports, with the installer's own words.
  std::ostringstream listing;
  std::string problem = tvpack::inspect_file(dir_ / "b.exe", listing);
  EXPECT_TRUE(problem == tv::describe_unpack_error(tv::UnpackError::kBadTrailer) ||
              problem == tv::describe_unpack_error(tv::UnpackError::kBadStream))
      << problem;

  fs::path odd = dir_.write("odd.bin", pattern(2047, 5));
  try {
    tvpack::wrap_blob(odd, stub_, 99, dir_ / "odd.exe");
    ADD_FAILURE() << "an odd-sized blob was embedded";
  } catch (const tvpack::PackError& e) {
    EXPECT_NE(std::string(e.what()).find("odd size (2047 bytes)"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(fs::exists(dir_ / "odd.exe"));
}

TEST_F(RoundTrip, InspectSaysWhyAScriptIsDamaged) {
  struct Case {
    std::vector<uint8_t> script;
    std::string problem;
    bool damaged_message;  // the installer would show its damaged-package message
  };
  tv::ScriptWriter cut;
  cut.put_int(1);
  cut.put_int(1);
  cut.put_string(u"{App}");
  std::vector<uint8_t> unterminated = cut.bytes();
  unterminated.push_back('D');
  unterminated.push_back(0);
  tv::ScriptWriter newer, negative, lines;
  newer.put_int(2);
  for (int i = 0; i < 2; ++i) newer.put_int(0);
  newer.put_string(u"");
  negative.put_int(1);
  negative.put_int(0);
  negative.put_int(1);
  negative.put_string(u"{App}\\x");
  negative.put_int(-5);
  lines.put_int(1);
  lines.put_int(0);
  lines.put_int(0);
  lines.put_string(u"icon\n{App}\\x.exe\n");
  const Case cases[] = {
      {unterminated, "a string is not terminated before the end of the install script", true},
      {{1, 0}, "an integer runs past the end of the install script", true},
      {newer.bytes(), "the format version is newer than this installer reads", false},
      {negative.bytes(), "a file's size is negative", false},
      {lines.bytes(), "the shortcuts section has 3 lines, not four for each shortcut", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.problem);
    fs::path in = dir_.write("s.bin", c.script);
    tvpack::wrap_script(in, stub_, kKey, dir_ / "d.exe");
    std::ostringstream listing;
    EXPECT_EQ(tvpack::inspect_file(dir_ / "d.exe", listing), c.problem);
    bool shown = listing.str().find("installer message: 安装文件已损坏!") != std::string::npos;
    EXPECT_EQ(shown, c.damaged_message) << listing.str();
  }
  std::ostringstream listing;
  EXPECT_EQ(tvpack::inspect_file(stub_, listing), "carries no package section (.tvpkg)");
}

TEST_F(RoundTrip, SameInputsGiveTheSameBytes) {
  dir_.write("p/a.bin", pattern(3000, 9));
  fs::path manifest = dir_.write("p/m.toml",
                                 "[[variable]]\nname = \"{App}\"\nvalue = 'D:\\Kesta'\n"
                                 "[[tree]]\nsource = \".\"\ndestination = '{App}'\n");
  tvpack::build_installer(manifest, stub_, kKey, dir_ / "1.exe");
  tvpack::build_installer(manifest, stub_, kKey, dir_ / "2.exe");
  tvpack::build_installer(manifest, stub_, kKey + 1, dir_ / "3.exe");
  std::vector<uint8_t> first = read_bytes(dir_ / "1.exe");
  EXPECT_EQ(first, read_bytes(dir_ / "2.exe"));
  EXPECT_NE(first, read_bytes(dir_ / "3.exe"));
  EXPECT_EQ(unpacked_script(dir_ / "1.exe"), unpacked_script(dir_ / "3.exe"));
}

TEST_F(RoundTrip, FailuresLeaveNoOutputAndKeepAnOldOne) {
  fs::path script = dir_.write("s.bin", pattern(100, 1));
  fs::create_directories(dir_ / "out");
  // A stub that already carries a package: refused by name, nothing written.
  tvpack::wrap_script(script, stub_, kKey, dir_ / "packed.exe");
  try {
    tvpack::wrap_script(script, dir_ / "packed.exe", kKey, dir_ / "out/x.exe");
    ADD_FAILURE() << "a packed stub was accepted";
  } catch (const tvpack::PackError& e) {
    std::string expected = tvpack::show_path(dir_ / "packed.exe") + ": the stub already carries";
    EXPECT_EQ(std::string(e.what()).rfind(expected, 0), 0u) << e.what();
  }
  EXPECT_TRUE(fs::is_empty(dir_ / "out"));
  // An output that cannot be written (a folder is in the way): nothing beside it.
  fs::create_directories(dir_ / "out/setup.exe");
  EXPECT_THROW(tvpack::wrap_script(script, stub_, kKey, dir_ / "out/setup.exe"), tvpack::PackError);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "out"), fs::directory_iterator()), 1);
  // A failing build leaves a previous installer as it was.
  std::vector<uint8_t> before = read_bytes(dir_ / "packed.exe");
  EXPECT_THROW(tvpack::wrap_script(dir_ / "missing.bin", stub_, kKey, dir_ / "packed.exe"),
               tvpack::PackError);
  EXPECT_EQ(read_bytes(dir_ / "packed.exe"), before);
}

TEST(Key, DecimalAndHexWithinThirtyTwoBits) {
  uint32_t k = 0;
  EXPECT_TRUE(tvpack::parse_key("0x2C7E13A5", &k));
  EXPECT_EQ(k, 0x2C7E13A5u);
  EXPECT_TRUE(tvpack::parse_key("4294967295", &k));
  EXPECT_EQ(k, 0xFFFFFFFFu);
  EXPECT_TRUE(tvpack::parse_key("0", &k));
  EXPECT_EQ(k, 0u);
  for (const char* bad : {"", "0x", "4294967296", "0x100000000", "-1", "12a", "0xg", " 1"})
    EXPECT_FALSE(tvpack::parse_key(bad, &k)) << bad;
}

}  // namespace
