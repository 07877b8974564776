// The manifest: what it turns into, and every mistake refused with the manifest's
// name and line before anything is written.
#include "errors.h"
#include "manifest.h"
#include "pack.h"
#include "pack_test_support.h"

namespace {

using namespace packtest;

const char* kApp = "[[variable]]\nname = \"{App}\"\nvalue = 'D:\\Kesta'\n";  // lines 1-3

class ManifestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    stub_ = dir_.write("stub.exe", make_pe(PeRecipe{}));
    fs::create_directories(dir_ / "out");
  }

  fs::path write_manifest(const std::string& text) { return manifest_ = dir_.write("m.toml", text); }

  // Builds and returns the error line, or "" when it succeeded.
  std::string build_error(const std::string& text) {
    write_manifest(text);
    try {
      tvpack::build_installer(manifest_, stub_, tvpack::kDefaultKey, dir_ / "out/setup.exe");
    } catch (const tvpack::PackError& e) {
      return e.what();
    }
    return "";
  }

  // line 0: an error about the whole manifest, with no line number.
  void expect_error(const std::string& text, int line, const std::string& phrase) {
    std::string error = build_error(text);
    ASSERT_FALSE(error.empty()) << "accepted; expected: " << phrase;
    std::string where = tvpack::show_path(manifest_) + (line ? ":" + std::to_string(line) : "") + ": ";
    EXPECT_EQ(error.rfind(where, 0), 0u) << error;
    EXPECT_NE(error.find(phrase), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << "not one line: " << error;
    EXPECT_TRUE(fs::is_empty(dir_ / "out")) << "something was written for: " << error;
  }

  TempDir dir_;
  fs::path stub_, manifest_;
};

TEST_F(ManifestTest, RefusesMistakesInVariables) {
  expect_error("[[variable]]\nname = \"App\"\nvalue = 'D:\\Kesta'\n", 2, "must be one name in braces");
  expect_error("[[variable]]\nname = \"{A}{B}\"\nvalue = 'x'\n", 2, "must be one name in braces");
  // A value may only use variables defined above it.
  expect_error(std::string(kApp) + "[[variable]]\nname = \"{A}\"\nvalue = '{B}\\x'\n"
                                   "[[variable]]\nname = \"{B}\"\nvalue = 'y'\n",
               6, "uses {B}, which is neither built in nor defined by a [[variable]] above");
  expect_error(std::string(kApp) + "[[variable]]\nname = \"{A}\"\nvalue = '{App\\x'\n", 6,
               "has an unclosed \"{\"");
  expect_error("[[variable]]\nname = \"{Launch}\"\nvalue = 'C:\\x.exe'\n", 0, "defines no {App} variable");
  expect_error("[[variable]]\nname = \"{App}\"\n", 1, "needs a \"value\" string");
  expect_error("[[variable]]\nname = \"{App}\"\nvalue = 3\n", 3, "\"value\" must be a string");
  expect_error("[[variable]]\nname = \"{App}\"\nvalue = \"D:\\u0000x\"\n", 3, "NUL character");
}

TEST_F(ManifestTest, RefusesFilesThatCannotBeInstalled) {
  dir_.write("a.txt", "a");
  std::string head = std::string(kApp) + "[[file]]\nsource = \"";
  expect_error(head + "missing.bin\"\ndestination = '{App}\\m.bin'\n", 5, "does not exist");
  expect_error(head + "a.txt\"\ndestination = '{Nope}\\a.txt'\n", 6, "uses {Nope}");
  expect_error(head + "a.txt\"\ndestination = '{App\\a.txt'\n", 6, "unclosed");
  expect_error(head + "a.txt\"\ndestination = 'a.txt'\n", 6, "not an absolute path");
  expect_error(head + "a.txt\"\ndestination = '{Empty}\\a.txt'\n", 6, "not an absolute path");
  expect_error(head + "a.txt\"\ndestination = '{App}\\'\n", 6, "ends with a backslash");
  expect_error(head + "a.txt\"\ndestination = '{App}\\a?.txt'\n", 6, "Windows does not allow");
  expect_error(head + "a.txt\"\ndest = '{App}\\a.txt'\n", 6, "unknown key \"dest\"");
  expect_error(head + "a.txt\"\n", 4, "needs a \"destination\" string");
  // The same file twice, told apart only by case, as Windows sees it.
  expect_error(head + "a.txt\"\ndestination = '{App}\\a.txt'\n[[file]]\nsource = \"a.txt\"\n"
                      "destination = '{App}\\A.TXT'\n",
               9, "already installed by the entry on line 6");
}

TEST_F(ManifestTest, RefusesPathsOfTwoHundredSixtyUnitsOrMore) {
  dir_.write("a.txt", "a");
  std::string app = "D:\\" + std::string(250, 'k');  // 253 units: a valid {App}
  std::string head = "[[variable]]\nname = \"{App}\"\nvalue = '" + app + "'\n[[file]]\nsource = \"a.txt\"\n";
  // {App}\ plus 5 units is 259: the longest path there is.
  EXPECT_EQ(build_error(head + "destination = '{App}\\12345'\n"), "");
  fs::remove(dir_ / "out/setup.exe");
  expect_error(head + "destination = '{App}\\123456'\n", 6, "expands to 260 units; a path may have at most 259");
  // Chinese text counts in UTF-16 units, one each.
  expect_error(head + "destination = '{App}\\帮助帮助帮助'\n", 6, "expands to 260 units");
}

TEST_F(ManifestTest, RefusesFilesAndScriptsOverTheFormatsLimits) {
  std::string head = std::string(kApp) + "[[file]]\nsource = \"";
  fs::path big = dir_.write("big.bin", "");
  fs::resize_file(big, 2147483648ull);  // sparse: 2 GiB, never read
  expect_error(head + "big.bin\"\ndestination = '{App}\\big.bin'\n", 5,
               "files of 2 GiB (2147483648 bytes) or more cannot be packed");
  fs::resize_file(big, 600000000);
  dir_.write("big2.bin", "");
  fs::resize_file(dir_ / "big2.bin", 600000000);
  expect_error(head + "big.bin\"\ndestination = '{App}\\1.bin'\n[[file]]\nsource = \"big2.bin\"\n"
                      "destination = '{App}\\2.bin'\n",
               0, "the limit is 1 GiB (1073741824 bytes)");
  fs::remove(big);
  fs::remove(dir_ / "big2.bin");
}

TEST_F(ManifestTest, RefusesTreesThatCannotBeInstalled) {
  std::string head = std::string(kApp) + "[[tree]]\nsource = \"";
  dir_.write("plain.txt", "x");
  expect_error(head + "plain.txt\"\ndestination = '{App}\\t'\n", 5, "is not a folder");
  fs::create_directories(dir_ / "empty/inner");
  expect_error(head + "empty\"\ndestination = '{App}\\t'\n", 5, "holds no files");
  fs::remove_all(dir_ / "empty");
  dir_.write("braces/ok.txt", "x");
  dir_.write("braces/sub/{App}.txt", "x");
  expect_error(head + "braces\"\ndestination = '{App}\\t'\n", 5, "has a brace in its name");
  fs::remove_all(dir_ / "braces");
}

TEST_F(ManifestTest, RefusesShortcutsThatCannotBeSaved) {
  std::string head = std::string(kApp) + "[[shortcut]]\n";
  std::string target = "target = '{App}\\t.exe'\n";
  expect_error(head + "target = \"{App}\\\\t\\n.exe\"\nlocation = '{Desktop}\\T'\n", 5, "has a line break");
  expect_error(head + target + "arguments = \"-a\\r-b\"\nlocation = '{Desktop}\\T'\n", 6, "has a line break");
  expect_error(head + target + "location = \"{Desktop}\"\n", 6, "has no backslash");
  expect_error(head + target + "location = '{Desktop}\\{X}'\n", 6, "uses {X}");
  expect_error(head + target + "arguments = '{A'\nlocation = '{Desktop}\\T'\n", 6, "unclosed");
  expect_error(head + "location = '{Desktop}\\T'\n", 4, "needs a \"target\" string");
  // With ".lnk" the location must still fit 259 units ({Desktop} and a backslash are 24).
  expect_error(head + target + "location = '{Desktop}\\" + std::string(259 - 4 - 24 + 1, 'L') + "'\n", 6,
               "with \".lnk\" a path may have at most 259");
}

TEST_F(ManifestTest, RefusesMalformedManifests) {
  expect_error(std::string(kApp) + "[[file]]\nsource = \"a.txt\n", 5, "not valid TOML");
  expect_error(std::string(kApp) + "[file]\nsource = \"a.txt\"\n", 4, "must be an array of tables");
  expect_error(std::string(kApp) + "[[files]]\nsource = \"a.txt\"\n", 4, "unknown key \"files\"");
  expect_error("format_version = \"1\"\n" + std::string(kApp), 1, "format_version must be an integer");
  expect_error("format_version = 4294967296\n" + std::string(kApp), 1, "format_version must be an integer");
}

TEST_F(ManifestTest, KeepsTheManifestsOrderAndSortsTrees) {
  dir_.write("one.txt", "1");
  dir_.write("two.txt", "22");
  dir_.write("t/a/b", "b");
  dir_.write("t/a.txt", "a");
  dir_.write("t/Z.txt", "Z");
  dir_.write("t/帮助.txt", "help");
  write_manifest(
      "format_version = 0\n" + std::string(kApp) +
      "[[variable]]\nname = \"{AppName}\"\nvalue = '{raw, never expanded'\n"
      "[[variable]]\nname = \"{Data}\"\nvalue = '{App}\\data'\n"
      "[[file]]\nsource = \"one.txt\"\ndestination = '{Data}\\1.txt'\n"
      "[[tree]]\nsource = \"t\"\ndestination = '{App}\\t\\'\n"
      "[[file]]\nsource = \"two.txt\"\ndestination = '{Programs}\\2.txt'\n"
      "[[shortcut]]\ntarget = '{App}\\1.txt'\nlocation = '{Desktop}\\One'\n"
      "[[shortcut]]\ntarget = '{App}\\2.txt'\narguments = '/x \"{Data}\"'\nlocation = '{Programs}\\T\\Two'\n");
  tvpack::Manifest m = tvpack::load_manifest(manifest_);
  EXPECT_EQ(m.format_version, 0);
  ASSERT_EQ(m.variables.size(), 3u);
  EXPECT_EQ(m.variables[0].name, u"{App}");
  EXPECT_EQ(m.variables[1].value, u"{raw, never expanded");
  EXPECT_EQ(m.variables[2].name, u"{Data}");
  std::vector<std::u16string> dests;
  for (const auto& f : m.files) dests.push_back(f.destination);
  // Components compare one by one: "a" (a folder) before "a.txt", capitals first.
  EXPECT_EQ(dests, (std::vector<std::u16string>{u"{Data}\\1.txt", u"{App}\\t\\Z.txt", u"{App}\\t\\a\\b",
                                                 u"{App}\\t\\a.txt", u"{App}\\t\\帮助.txt",
                                                 u"{Programs}\\2.txt"}));
  EXPECT_EQ(m.files[4].size, 4u);
  EXPECT_EQ(tvpack::shortcut_text(m.shortcuts),
            u"icon\n{App}\\1.txt\n\n{Desktop}\\One\n"
            u"icon\n{App}\\2.txt\n/x \"{Data}\"\n{Programs}\\T\\Two");
  std::vector<uint8_t> script = tvpack::build_script(m);
  EXPECT_EQ(script.size(), m.script_size);
}

}  // namespace
