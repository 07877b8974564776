// The manifest: what it turns into, and each mistake refused with the manifest's name
// and line, in one line (and no other for what depends on it), before anything is
// written; several mistakes told together, in the order of their lines.
#include <array>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "common/errors.h"
#include "assemble/manifest.h"
#include "assemble/build.h"
#include "assemble/defines.h"
#include "common/read_file.h"
#include "common/template.h"
#include "install/path_check.h"
#include "session/install_walk.h"
#include "session/installer_session.h"
#include "pack_test_support.h"
#include "base/path_limit.h"
#include "base/text16.h"

namespace {

using namespace packtest;

const std::string kApp = "[[variable]]\nname = \"{App}\"\nvalue = 'D:\\Kesta'\n";  // lines 1-3

struct Mistake {
  std::string manifest;
  int line;  // 0: about the whole manifest
  std::string phrase;
  tvpack::Defines defines = {};  // -D of the command line
};

class ManifestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    stub_ = dir_.write("stub.exe", make_pe(PeRecipe{}));
    fs::create_directories(dir_ / "out");
    dir_.write("a.txt", "a");
  }
  void expect_refused(const std::vector<Mistake>& mistakes) {
    for (const Mistake& m : mistakes) {
      fs::path manifest = dir_.write("m.toml", m.manifest);
      std::string error;
      tvpack::BuildOptions options;
      options.defines = m.defines;
      try {
        tvpack::build_installer(manifest, stub_, tvpack::kDefaultKey, dir_ / "out/setup.exe", options);
      } catch (const tvpack::PackError& e) {
        error = e.what();
      }
      std::string where = tvpack::show_path(manifest) + (m.line ? ":" + std::to_string(m.line) : "") + ": ";
      EXPECT_EQ(error.rfind(where, 0), 0u) << "expected " << where << "... " << m.phrase << "\ngot: " << error;
      EXPECT_NE(error.find(m.phrase), std::string::npos) << error;
      EXPECT_EQ(error.find('\n'), std::string::npos) << error;
      EXPECT_TRUE(fs::is_empty(dir_ / "out")) << "written despite: " << error;
      fs::remove_all(dir_ / "out/setup.exe");
    }
  }
  TempDir dir_;
  fs::path stub_;
};

TEST_F(ManifestTest, RefusesVariablesThatCannotBeDefined) {
  expect_refused({
      {"[[variable]]\nname = \"App\"\nvalue = 'D:\\Kesta'\n", 2, "must be one name in braces"},
      {"[[variable]]\nname = \"{A}{B}\"\nvalue = 'x'\n", 2, "must be one name in braces"},
      {kApp + "[[variable]]\nname = \"{A}\"\nvalue = '{B}\\x'\n[[variable]]\nname = \"{B}\"\nvalue = 'y'\n", 6,
       "uses {B}, which is neither built in nor defined by a [[variable]] above"},
      {kApp + "[[variable]]\nname = \"{A}\"\nvalue = '{App\\x'\n", 6, "has an unclosed \"{\""},
      {"[[variable]]\nname = \"{Launch}\"\nvalue = 'C:\\x.exe'\n", 0, "defines no {App} variable"},
      {"[[variable]]\nname = \"{App}\"\n", 1, "needs a \"value\" string"},
      {"[[variable]]\nname = \"{App}\"\nvalue = \"D:\\u0000x\"\n", 3, "NUL character"},
  });
}

TEST_F(ManifestTest, RefusesFilesThatCannotBeInstalled) {
  std::string f = kApp + "[[file]]\nsource = \"a.txt\"\n";  // destination on line 6
  fs::resize_file(dir_.write("big.bin", ""), 2147483648ull);    // sparse: never read
  fs::resize_file(dir_.write("b1.bin", ""), 820000000);
  fs::resize_file(dir_.write("b2.bin", ""), 820000000);
  std::string long_app = "[[variable]]\nname = \"{App}\"\nvalue = 'D:\\" + std::string(250, 'k') + "'\n";
  expect_refused({
      {kApp + "[[file]]\nsource = \"missing.bin\"\ndestination = '{App}\\m'\n", 5, "does not exist"},
      {f + "destination = '{Nope}\\a.txt'\n", 6, "uses {Nope}"},
      {f + "destination = '{App\\a.txt'\n", 6, "unclosed"},
      {f + "destination = '{Empty}\\a.txt'\n", 6, "not an absolute path"},
      {f + "destination = '{App}\\a?.txt'\n", 6, "Windows does not allow"},
      {f + "destination = '{App}\\sub.\\a.txt'\n", 6, "holds the name \"sub.\", which Windows cannot hold"},
      {f + "destination = '{Desktop}\\Nul'\n", 6, "holds the name \"Nul\", which Windows cannot hold"},
      // The installer's own check judges what the package writes, not the folders: {App}'s
      // name written out is the package's text, and a name the package joins to {App} is one.
      {"[[variable]]\nname = \"{App}\"\nvalue = 'D:\\Kesta.'\n[[file]]\nsource = \"a.txt\"\n"
       "destination = 'D:\\Kesta.\\x.txt'\n", 6,
       "[[file]] destination \"D:\\Kesta.\\x.txt\" holds the name \"Kesta.\", which Windows cannot hold"},
      {f + "destination = '{App}x.\\a.txt'\n", 6, "\"D:\\Kestax.\\a.txt\" holds the name \"{App}x.\""},
      {f + "dest = '{App}\\a.txt'\n", 6, "unknown key \"dest\""},
      {f + "destination = '{App}\\a'\n[[file]]\nsource = \"a.txt\"\ndestination = '{App}\\A'\n", 9,
       "already installed by the entry on line 6"},
      // {App} is 253 units: "{App}\12345" is the longest path there is (259).
      {long_app + "[[file]]\nsource = \"a.txt\"\ndestination = '{App}\\123456'\n", 6,
       "expands to 260 units; a path may have at most 259"},
      {long_app + "[[file]]\nsource = \"a.txt\"\ndestination = '{App}\\帮助帮助帮助'\n", 6, "expands to 260 units"},
      {kApp + "[[file]]\nsource = \"big.bin\"\ndestination = '{App}\\b'\n", 5,
       "files of 2 GiB (2147483648 bytes) or more cannot be packed"},
      {kApp + "[[file]]\nsource = \"b1.bin\"\ndestination = '{App}\\1'\n[[file]]\nsource = \"b2.bin\"\n"
              "destination = '{App}\\2'\n",
       0, "over the limit of 1.5 GiB (1610612736 bytes)"},
  });
  // One path both a file and a folder, in either order, also spelt another way.
  std::string g = f + "destination = '{App}\\a.txt'\n[[file]]\nsource = \"a.txt\"\n";  // second on line 9
  expect_refused({
      {g + "destination = '{App}\\A.TXT\\b.txt'\n", 9, "lies inside \"D:\\Kesta\\a.txt\", which line 6 installs as a file"},
      {f + "destination = '{App}\\x\\..\\a.txt\\b\\c.txt'\n[[file]]\nsource = \"a.txt\"\ndestination = '{App}\\.\\a.txt'\n", 9,
       "is the folder of \"D:\\Kesta\\x\\..\\a.txt\\b\\c.txt\" (line 6)"},
  });
  fs::path ok = dir_.write("ok.toml", long_app + "[[file]]\nsource = \"a.txt\"\ndestination = '{App}\\12345'\n");
  EXPECT_NO_THROW(tvpack::load_manifest(ok));
}

// A mistake said with what was likely meant: a backslash that a double-quoted TOML string
// read as an escape, the name in the source folder that differs only in case or is
// nearest, the nearest variable; what depends on a refused source is not told again.
TEST_F(ManifestTest, ExplainsMistakesWithWhatWasMeant) {
  dir_.write("files/readme.txt", "r");
  std::string f = kApp + "[[file]]\nsource = ";  // source on line 5, destination on 6
  std::string launch = kApp + "[[variable]]\nname = \"{Launch}\"\nvalue = '{App}\\t.exe'\n";
  std::string single = "write the path in single quotes, like '{App}\\readme.txt', which keep every backslash)";
  expect_refused({
      {f + "'a.txt'\ndestination = \"{App}\\readme.txt\"\n", 6,
       "destination \"D:\\Kesta\\readme.txt\" has the character \"\\r\", which Windows does not allow in a path "
       "(in a double-quoted TOML string \"\\r\" is an escape, not a backslash and a letter: " + single},
      {f + "'a.txt'\ndestination = \"{App}\\bin\\t.exe\"\n", 6, "(in a double-quoted TOML string \"\\b\" is an escape"},
      {f + "'a.txt'\ndestination = \"{App}\\new.txt\"\n", 6, "\"\\n\" is an escape"},
      {f + "'a.txt'\ndestination = \"{App}\\folder.txt\"\n", 6, "\"\\f\" is an escape"},
      {f + "\"files\\readme.txt\"\ndestination = '{App}\\r.txt'\n", 5,
       "readme.txt\" does not exist (in a double-quoted TOML string \"\\r\" is an escape"},
      {f + "'files/readme.tx'\ndestination = '{App}\\r.txt'\n", 5,
       "readme.tx\" does not exist; did you mean \"readme.txt\"?"},
      {f + "'files/notes.md'\ndestination = '{App}\\r.txt'\n", 5, "notes.md\" does not exist"},
      {launch + "[[shortcut]]\ntarget = '{Lanch}'\nlocation = '{Desktop}\\D'\n", 8,
       "uses {Lanch}, which is neither built in nor defined by a [[variable]] above; did you mean {Launch}?"},
      {kApp + "[[variable]]\nname = \"{Data}\"\nvalue = '{Ap}\\data'\n", 6, "uses {Ap}, which is neither built in "
       "nor defined by a [[variable]] above; did you mean {App}?"},
      // The shortcut to the file refused for its source, and to its folder: not told again.
      {f + "'files/readme.tx'\ndestination = '{App}\\doc\\readme.txt'\n[[shortcut]]\ntarget = '{App}\\doc\\readme.txt'\n"
           "location = '{Desktop}\\R'\n[[shortcut]]\ntarget = '{App}\\doc'\nlocation = '{Desktop}\\D'\n",
       5, "did you mean \"readme.txt\"?"},
  });
  // Nothing is suggested that is not near, nor for a name without an escape in it.
  for (const char* source : {"'files/notes.md'", "'nowhere/readme.txt'"}) {
    fs::path manifest = dir_.write("m.toml", f + source + "\ndestination = '{App}\\r.txt'\n");
    try {
      tvpack::load_manifest(manifest);
      ADD_FAILURE() << source << " taken";
    } catch (const tvpack::PackError& e) {
      std::string error = e.what();
      EXPECT_EQ(error.substr(error.size() - 14), "does not exist") << error;
    }
  }
}

// A source whose name differs only in case from the file there: named as such. Only
// where the file system tells the two apart (elsewhere the source is found).
TEST_F(ManifestTest, NamesASourceThatDiffersOnlyInCase) {
  dir_.write("files/readme.txt", "r");
  if (fs::exists(dir_ / "files/README.txt")) GTEST_SKIP() << "this file system ignores case";
  std::string f = kApp + "[[file]]\nsource = ";
  expect_refused({
      {f + "'files/README.txt'\ndestination = '{App}\\r.txt'\n", 5,
       "README.txt\" does not exist; its folder has \"readme.txt\", which differs only in case (names here are "
       "case-sensitive)"},
      {f + "'files/README.txt'\ndestination = '{App}\\r.txt'\n[[shortcut]]\ntarget = '{App}\\r.txt'\n"
           "location = '{Desktop}\\R'\n",
       5, "differs only in case"},
  });
}

// Names are one when Windows takes them for one: every unit by its simple uppercase,
// not ASCII alone; a character whose uppercase is two ("ß", "ﬀ") stays, and so do
// the halves of a surrogate pair.
TEST_F(ManifestTest, ComparesDestinationsAsWindowsDoes) {
  struct Pair {
    const char* a;
    const char* b;
    bool same;
  };
  const std::vector<Pair> pairs = {
      {"Ä.txt", "ä.txt", true},   {"Д", "д", true},       {"ǅ", "ǆ", true},          {"Ǆ", "ǅ", true},
      {"ΆΩ", "άω", true},         {"ｂ", "Ｂ", true},     {"ⓐ", "Ⓐ", true},          {"ÿ", "Ÿ", true},
      {"µ", "Μ", true},           {"ᾳ", "ᾼ", true},       {"ᾈ", "ᾀ", true},          {"ß", "SS", false},
      {"ß", "ẞ", false},          {"ﬀ", "FF", false},
      {"𐐨", "𐐀", false},         {"i", "İ", false},      {"Ä.txt", "A.txt", false}, {"x", "ж", false},
  };
  const std::string f = kApp + "[[file]]\nsource = \"a.txt\"\ndestination = '{App}\\";
  for (const Pair& p : pairs) {
    std::string text = f + p.a + "'\n[[file]]\nsource = \"a.txt\"\ndestination = '{App}\\" + p.b + "'\n";
    if (p.same)
      expect_refused({{text, 9, "is already installed by the entry on line 6"}});
    else
      EXPECT_NO_THROW(tvpack::load_manifest(dir_.write("m.toml", text))) << p.a << " " << p.b;
  }
  expect_refused({
      {f + "Ä'\n[[file]]\nsource = \"a.txt\"\ndestination = '{App}\\ä\\x.txt'\n", 9, "lies inside \"D:\\Kesta\\Ä\""},
      {f + "Ж\\x.txt'\n[[file]]\nsource = \"a.txt\"\ndestination = '{App}\\ж'\n", 9, "is the folder of"},
  });
}

// A destination that climbs out of {App} is built, with one warning line per entry.
TEST_F(ManifestTest, WarnsOfDestinationsThatLeaveApp) {
  fs::path manifest = dir_.write("m.toml", kApp +
      "[[file]]\nsource = \"a.txt\"\ndestination = '{App}\\x\\..\\..\\up.txt'\n"            // line 6
      "[[file]]\nsource = \"a.txt\"\ndestination = '{App}\\x\\..\\in.txt'\n"                  // stays inside
      "[[variable]]\nname = \"{Up}\"\nvalue = '{App}\\..'\n"
      "[[file]]\nsource = \"a.txt\"\ndestination = '{Up}\\other\\b.txt'\n"                     // line 15
      "[[file]]\nsource = \"a.txt\"\ndestination = '{Desktop}\\..\\c.txt'\n");                // not from {App}
  std::vector<std::string> warnings;
  tvpack::BuildOptions options;
  options.warning = [&](const std::string& w) { warnings.push_back(w); };
  tvpack::build_installer(manifest, stub_, tvpack::kDefaultKey, dir_ / "out/setup.exe", options);
  EXPECT_TRUE(fs::exists(dir_ / "out/setup.exe"));
  std::string at = tvpack::show_path(manifest) + ":";
  EXPECT_EQ(warnings, (std::vector<std::string>{
                          at + "6: warning: [[file]] destination \"{App}\\x\\..\\..\\up.txt\" leaves {App} through \"..\"",
                          at + "15: warning: [[file]] destination \"{Up}\\other\\b.txt\" leaves {App} through \"..\""}));
}

// A packaged file in the user's application data (outside {App}) is replaced by every
// reinstall: warned of, once for each line, naming it; the installer is built.
TEST_F(ManifestTest, WarnsOfFilesInApplicationData) {
  dir_.write("defaults/settings.ini", "s");
  dir_.write("defaults/sub/more.ini", "m");
  const std::string said = " lies in the user's application data ({AppData}): every reinstall and upgrade replaces "
                           "it, and a user's changes to it are lost; ship its defaults inside {App} and let the "
                           "program make it on first run";
  struct Case {
    std::string manifest;
    std::vector<std::string> warned;  // after "FILE:"
  } cases[] = {
      {kApp + "[[file]]\nsource = 'a.txt'\ndestination = '{AppData}\\DawnNotes\\settings.ini'\n",
       {"6: warning: [[file]] destination \"{AppData}\\DawnNotes\\settings.ini\"" + said}},
      {kApp + "[[tree]]\nsource = 'defaults'\ndestination = '{AppData}\\晨光'\n",
       {"6: warning: [[tree]] file \"" + tvpack::show_path(dir_ / "defaults" / "settings.ini") +
        "\": destination \"{AppData}\\晨光\\settings.ini\"" + said}},
      {kApp + "[[variable]]\nname = '{Cfg}'\nvalue = '{AppData}\\Dawn'\n[[file]]\nsource = 'a.txt'\n"
              "destination = '{Cfg}\\a.ini'\n[[file]]\nsource = 'a.txt'\ndestination = '{App}\\a.ini'\n",
       {"9: warning: [[file]] destination \"{Cfg}\\a.ini\"" + said}},
      // {App} itself in the application data: the install folder, no settings of the user's.
      {"[[variable]]\nname = '{App}'\nvalue = '{AppData}\\DawnNotes'\n[[file]]\nsource = 'a.txt'\n"
       "destination = '{App}\\settings.ini'\n",
       {}},
      {kApp + "[[file]]\nsource = 'a.txt'\ndestination = '{Desktop}\\a.txt'\n", {}},
      {kApp + "[[file]]\nsource = 'a.txt'\ndestination = 'C:\\Users\\Tester\\AppDataX\\a.txt'\n", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.manifest);
    fs::path manifest = dir_.write("m.toml", c.manifest);
    std::vector<std::string> warnings;
    tvpack::BuildOptions options;
    options.warning = [&](const std::string& w) { warnings.push_back(w); };
    tvpack::build_installer(manifest, stub_, tvpack::kDefaultKey, dir_ / "out/setup.exe", options);
    EXPECT_TRUE(fs::exists(dir_ / "out/setup.exe"));
    std::vector<std::string> want;
    for (const std::string& w : c.warned) want.push_back(tvpack::show_path(manifest) + ":" + w);
    EXPECT_EQ(warnings, want);
    fs::remove(dir_ / "out/setup.exe");
  }
}

std::string many_shortcuts(int count) {
  std::string text;
  for (int i = 0; i < count; ++i)
    text += "[[shortcut]]\ntarget = '{App}\\t.exe'\nlocation = '{Desktop}\\T" + std::to_string(i) + "'\n";
  return text + "[[file]]\nsource = \"a.txt\"\ndestination = '{App}\\t.exe'\n";
}

TEST_F(ManifestTest, RefusesTreesAndShortcutsThatCannotBeInstalled) {
  fs::create_directories(dir_ / "empty/inner");
  dir_.write("braces/sub/{App}.txt", "x");
  dir_.write("two/a.txt", "a");
  dir_.write("two/b.txt", "b");
  std::string t = kApp + "[[tree]]\nsource = \"";
  std::string s = kApp + "[[shortcut]]\ntarget = 'C:\\t.exe'\n";  // location or arguments on line 6
  expect_refused({
      {t + "a.txt\"\ndestination = '{App}\\t'\n", 5, "is not a folder"},
      {t + "empty\"\ndestination = '{App}\\t'\n", 5, "holds no files"},
      {t + "braces\"\ndestination = '{App}\\t'\n", 5, "has a brace in its name"},
      // Told once for the tree's line, not for each of its files.
      {t + "two\"\ndestination = '{App}\\t.'\n", 6, "destination \"D:\\Kesta\\t.\\a.txt\" holds the name \"t.\""},
      {kApp + "[[shortcut]]\ntarget = \"{App}\\\\t\\n.exe\"\nlocation = '{Desktop}\\T'\n", 5, "has a line break"},
      {s + "arguments = \"-a\\r-b\"\nlocation = '{Desktop}\\T'\n", 6, "has a line break"},
      {s + "location = \"{Desktop}\"\n", 6, "has no backslash"},
      {s + "location = '{Desktop}\\NUL'\n", 6, "[[shortcut]] file \"C:\\Users\\Tester\\Desktop\\NUL.lnk\" holds the name"},
      {s + "location = '{Desktop}\\{X}'\n", 6, "uses {X}"},
      {kApp + "[[shortcut]]\nlocation = '{Desktop}\\T'\n", 4, "needs a \"target\" string"},
      // A target below {App} that the package does not install leads nowhere; the
      // nearest packaged name (a file or a folder on the way to one) is suggested. Told
      // at the [[shortcut]] line.
      {kApp + "[[file]]\nsource = \"a.txt\"\ndestination = '{App}\\DawnNotes.exe'\n[[shortcut]]\ntarget = '{App}\\DawnNote.exe'\n"
           "location = '{Desktop}\\D'\n", 7, "[[shortcut]] target \"{App}\\DawnNote.exe\" leads to "
           "{App}\\DawnNote.exe, which the package does not install; did you mean {App}\\DawnNotes.exe?"},
      {kApp + "[[file]]\nsource = \"a.txt\"\ndestination = '{App}\\bin\\t.exe'\n[[shortcut]]\n"
              "target = '{App}\\bim'\nlocation = '{Desktop}\\D'\n", 7, "did you mean {App}\\bin?"},
      {kApp + "[[file]]\nsource = \"a.txt\"\ndestination = '{App}\\t.exe'\n[[shortcut]]\n"
              "target = '{App}\\zzzz.exe'\nlocation = '{Desktop}\\D'\n", 7, "does not install"},
      // "C:\Users\Tester\Desktop\" is 24 units; 232 more and ".lnk" make 260.
      {s + "location = '{Desktop}\\" + std::string(232, 'L') + "'\n", 6, "with \".lnk\" a path may have at most 259"},
      // 256 shortcuts fill the installer's 1024 lines; the 257th (line 4 + 256 * 3) is one too many.
      {kApp + many_shortcuts(257), 772, "more than 256 shortcuts"},
  });
  EXPECT_EQ(tvpack::load_manifest(dir_.write("ok.toml", kApp + many_shortcuts(256))).shortcuts.size(), 256u);
}

#ifndef _WIN32
// A tree's names as they come from a Linux build machine: one Windows cannot hold
// (at its destination's line), one that is not UTF-8 or holds a backslash, and a link
// out of the tree or back into a folder it lies in (at its source's line), each
// refused naming the file; a link inside the tree, and names Windows holds, build.
TEST_F(ManifestTest, RefusesTreeNamesWindowsCannotTakeAndLinksOutOfTheTree) {
  struct Case {
    std::string name, link_to;  // a file in the tree, or (link_to set) a link
    int line;                   // 0: it builds
    std::string told;           // after the tree's folder
  } cases[] = {
      {"aux.c", "", 6, "/aux.c\": destination \"D:\\Kesta\\aux.c\" holds the name \"aux.c\""},
      {"NUL", "", 6, "/NUL\": destination \"D:\\Kesta\\NUL\" holds the name \"NUL\""},
      {"com1.log", "", 6, "/com1.log\": destination \"D:\\Kesta\\com1.log\" holds the name"},
      {"LPT1/x.txt", "", 6, "/LPT1/x.txt\": destination \"D:\\Kesta\\LPT1\\x.txt\" holds the name \"LPT1\""},
      {"CONIN$", "", 6, "/CONIN$\": destination \"D:\\Kesta\\CONIN$\" holds the name"},
      {"trailing.", "", 6, "/trailing.\": destination \"D:\\Kesta\\trailing.\" holds the name"},
      {"space ", "", 6, "/space \": destination \"D:\\Kesta\\space \" holds the name"},
      {"caf\xE9.txt", "", 5, "/caf\\xE9.txt\" is not valid UTF-8 (its bad bytes shown as \\xNN); rename it"},
      {"sub/\xC3(/x", "", 5, "/sub/\\xC3(\" is not valid UTF-8"},
      {"back\\slash.txt", "", 5, "/back\\slash.txt\" holds a backslash"},
      {"pw", "/etc/passwd", 5, "/pw\" leads to \"/etc/passwd\", which is not inside the tree's source folder"},
      {"gone", "nowhere.txt", 5, "/gone\" leads to \"nowhere.txt\", which is not inside"},
      {"up/loop", "..", 5, "/up/loop\" leads back to"},
      {"COM10", "", 0, ""},
      {"CONX", "", 0, ""},
      {"con", "a.txt", 6, "/con\": destination \"D:\\Kesta\\con\" holds the name"},
      {"in/link.txt", "../a.txt", 0, ""},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    fs::path tree = dir_ / ("t" + std::to_string(i)), at = tree / fs::path(c.name);
    dir_.write("t" + std::to_string(i) + "/a.txt", "a");
    fs::create_directories(at.parent_path());
    if (c.link_to.empty())
      std::ofstream(at) << "x";
    else
      fs::create_symlink(c.link_to, at);
    std::string manifest = kApp + "[[tree]]\nsource = \"t" + std::to_string(i) + "\"\ndestination = '{App}'\n";
    if (c.line == 0)
      EXPECT_EQ(refusal([&] { tvpack::build_installer(dir_.write("m.toml", manifest), stub_, tvpack::kDefaultKey,
                                                         dir_ / "out/setup.exe"); }), "") << c.name;
    else
      expect_refused({{manifest, c.line, tvpack::show_path(tree) + c.told}});
    fs::remove_all(dir_ / "out/setup.exe");
  }
  // {App}'s own folder is the user's to choose: only the names the package adds are held to the rule.
  EXPECT_NO_THROW(tvpack::load_manifest(dir_.write(
      "ok.toml", "[[variable]]\nname = \"{App}\"\nvalue = 'D:\\Kesta.'\n[[file]]\nsource = \"a.txt\"\ndestination = '{App}\\a'\n")));
}
#endif

TEST_F(ManifestTest, RefusesMalformedManifests) {
  expect_refused({
      {kApp + "[[file]]\nsource = \"a.txt\n", 5, "not valid TOML"},
      // The parser's own message quotes the line feed it saw; the error stays one line.
      {"format_version = n\n", 1, "not valid TOML"},
      {kApp + "[file]\nsource = \"a.txt\"\n", 4, "must be an array of tables"},
      {kApp + "[[files]]\nsource = \"a.txt\"\n", 4, "unknown key \"files\""},
      {"format_version = 4294967296\n" + kApp, 1, "format_version must be an integer"},
      {"format_version = 2\n" + kApp, 1, "format_version 2 would be refused by the installer"},
      // Characters the TOML library's own tests once ran off the end on (U+03F4,
      // U+3002, U+FEDF, U+0249 after a sign): refused as invalid TOML.
      {kApp + "d\xCF\xB4 = 1\n", 4, "not valid TOML"},
      {kApp + "[[file]] \xE3\x80\x82\n", 4, "not valid TOML"},
      {kApp + "\xEF\xBB\x9F[[file]]\n", 4, "not valid TOML"},
      {"for = -\"{\xC9\x8Fp}\"\n" + kApp, 1, "not valid TOML"},
  });
}

// Every mistake of a manifest in one run, one line each in the order of their lines
// (those about the whole manifest last), the first 20 and a count of the rest; what
// depends on a value refused is not told again; a syntax error alone.
TEST_F(ManifestTest, TellsEveryMistakeAtOnce) {
  struct Told {
    int line;  // 0: about the whole manifest
    std::string phrase;
  };
  struct Case {
    std::string manifest;
    std::vector<Told> told;
  };
  dir_.write("readme/Readme.txt", "r");
  dir_.write("docs/README.TXT", "R");
  dir_.write("t/Readme.txt", "r");
  const std::string file = "[[file]]\nsource = \"a.txt\"\n";  // destination on the next line
  std::string many, dest;  // 25 sources that do not exist, on lines 5, 8, ... 77
  std::vector<Told> first20;
  for (int n = 0; n < 25; ++n) {
    many += "[[file]]\nsource = \"m" + std::to_string(n) + "\"\ndestination = '{App}\\" + std::to_string(n) + "'\n";
    if (n < 20) first20.push_back({5 + 3 * n, "[[file]] source \"" + tvpack::show_path(dir_ / ("m" + std::to_string(n))) + "\" does not exist"});
  }
  first20.push_back({0, "...and 5 more errors"});
  const std::vector<Case> cases = {
      {kApp + file + "destination = '{App}\\a'\ncolour = \"red\"\n[[file]]\nsource = \"missing.bin\"\n"
              "destination = '{App}\\b'\n",
       {{7, "[[file]] has an unknown key \"colour\""}, {9, "missing.bin\" does not exist"}}},
      // Read table by table, told line by line.
      {"[[shortcut]]\ntarget = ''\nlocation = '{Desktop}\\T'\n" + kApp + file + "destination = '{App}\\a?'\n"
       "[installer]\nfile_version = \"x\"\nformat = 1\n",
       {{2, "[[shortcut]] target is empty"}, {9, "Windows does not allow"}, {11, "file_version \"x\" is not a version"},
        {12, "unknown key \"format\""}}},
      // Nothing more of a variable refused, a build-time value refused, a tree's
      // destination refused, or a key misspelt (the required one, likely).
      {kApp + "[[variable]]\nname = \"{Data}\"\nvalue = '{Nope}'\n[define]\nv = 1\n" + file +
           "destination = '{Data}\\a'\n" + file + "destination = '{App}\\${v}'\n[[tree]]\nsource = \"t\"\n"
           "destination = '{App}\\t?'\n[[shortcut]]\ntarget = '{Data}'\nlocaton = '{Desktop}\\T'\n",
       {{6, "variable {Data}: value \"{Nope}\" uses {Nope}"}, {8, "[define] v must be a string"},
        {17, "[[tree]] destination \"D:\\Kesta\\t?\" has the character \"?\""},
        {20, "[[shortcut]] has an unknown key \"locaton\""}}},
      {"[[variable]]\nname = \"{App\"\nvalue = 'D:\\K'\n" + file + "destination = '{App}\\a'\n" + file +
           "destination = 'a'\n",
       {{2, "variable name \"{App\" must be one name in braces"}, {9, "which is not an absolute path"}}},
      {"format_version = 2\n[[variable]]\nname = \"{Ap}\"\nvalue = 'D:\\K'\n",
       {{1, "format_version 2 would be refused"}, {0, "defines no {App} variable"}}},
      {kApp + file + "colour = 1\n" + file + "destination = \"\n", {{9, "not valid TOML"}}},
      {kApp + many, first20},
      // A clash names both sources and both lines (and inside one tree both files, below).
      {kApp + "[[file]]\nsource = \"readme/Readme.txt\"\ndestination = '{App}\\Readme.txt'\n"
              "[[file]]\nsource = \"docs/README.TXT\"\ndestination = '{App}\\README.TXT'\n",
       {{9, "[[file]] destination \"D:\\Kesta\\README.TXT\" (from \"" + tvpack::show_path(dir_ / "docs/README.TXT") +
                "\") is already installed by the entry on line 6 (as \"D:\\Kesta\\Readme.txt\", from \"" +
                tvpack::show_path(dir_ / "readme/Readme.txt") + "\"); Windows holds the two as one file"}}},
  };
  for (const Case& c : cases) {
    fs::path manifest = dir_.write("m.toml", c.manifest);
    std::string error = refusal([&] { tvpack::load_manifest(manifest); });
    std::vector<std::string> lines;
    std::istringstream in(error);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), c.told.size()) << error;
    for (size_t i = 0; i < lines.size(); ++i) {
      const Told& t = c.told[i];
      std::string where = tvpack::show_path(manifest) + (t.line ? ":" + std::to_string(t.line) : "") + ": ";
      EXPECT_EQ(lines[i].rfind(where, 0), 0u) << where << "\n" << error;
      EXPECT_NE(lines[i].find(t.phrase), std::string::npos) << t.phrase << "\n" << error;
    }
  }
}

// Both files of one tree that Windows holds as one: the clash names both. Only where
// the file system keeps both names.
TEST_F(ManifestTest, TellsAClashInsideOneTree) {
  dir_.write("t/Readme.txt", "r");
  dir_.write("t/README.TXT", "R");
  if (std::distance(fs::directory_iterator(dir_ / "t"), fs::directory_iterator()) != 2)
    GTEST_SKIP() << "this file system ignores case: a folder cannot hold Readme.txt and README.TXT";
  fs::path manifest = dir_.write("m.toml", kApp + "[[tree]]\nsource = \"t\"\ndestination = '{App}'\n");
  EXPECT_EQ(refusal([&] { tvpack::load_manifest(manifest); }),
            tvpack::show_path(manifest) + ":6: [[tree]] file \"" + tvpack::show_path(dir_ / "t/Readme.txt") +
                "\": destination \"D:\\Kesta\\Readme.txt\" is already installed by the entry on line 6 (as "
                "\"D:\\Kesta\\README.TXT\", from \"" + tvpack::show_path(dir_ / "t/README.TXT") +
                "\"); Windows holds the two as one file");
}

// n characters outside the BMP: two UTF-16 units each.
std::string emoji(int n) {
  std::string e;
  for (int i = 0; i < n; ++i) e += "\xF0\x9F\x98\x80";
  return e;
}

// The [installer] table: versions to numbers, file_version and description from the
// others when left out, the icon beside the manifest.
TEST_F(ManifestTest, ReadsTheInstallerTable) {
  using V = std::array<uint16_t, 4>;
  struct Case {
    std::string table;
    std::optional<V> product, file;
    std::optional<std::u16string> file_text, description;
  };
  const std::string emoji128 = emoji(128);  // 256 UTF-16 units
  const std::vector<Case> cases = {
      {"product_version = \"2.3\"", V{2, 3, 0, 0}, V{2, 3, 0, 0}, u"2.3", std::nullopt},
      {"product_version = \"65535.0.007.1\"\nfile_version = \"9\"", V{65535, 0, 7, 1}, V{9, 0, 0, 0}, u"9",
       std::nullopt},
      {"file_version = \"1.2.3\"", std::nullopt, V{1, 2, 3, 0}, u"1.2.3", std::nullopt},
      {"product_name = \"塔文诺\"", std::nullopt, std::nullopt, std::nullopt, u"塔文诺 安装程序"},
      {"product_name = \"x\"\ndescription = \"\"", std::nullopt, std::nullopt, std::nullopt, u""},
      {"description = \"" + emoji128 + "\"", std::nullopt, std::nullopt, std::nullopt, tv::utf8_to_u16(emoji128)},
      {"", std::nullopt, std::nullopt, std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    tvpack::Manifest m = tvpack::load_manifest(dir_.write("m.toml", kApp + "[installer]\n" + c.table + "\n"));
    EXPECT_EQ(m.installer.line, 4) << c.table;
    EXPECT_EQ(m.installer.product.product_version_number, c.product) << c.table;
    EXPECT_EQ(m.installer.product.file_version_number, c.file) << c.table;
    EXPECT_EQ(m.installer.product.file_version, c.file_text) << c.table;
    EXPECT_EQ(m.installer.product.description, c.description) << c.table;
  }
  dir_.write("art/t.ico", "not read here");
  tvpack::Manifest m =
      tvpack::load_manifest(dir_.write("m.toml", "[installer]\ncompany = \"K\"\nicon = \"art/t.ico\"\n" + kApp));
  EXPECT_EQ(m.installer.icon, dir_ / "art/t.ico");
  EXPECT_EQ(m.installer.icon_line, 3);
  EXPECT_EQ(m.installer.product.company, u"K");
  EXPECT_FALSE(m.installer.product.copyright || m.installer.product.product_name);
  EXPECT_EQ(tvpack::load_manifest(dir_.write("m.toml", kApp)).installer.line, 0);
}

TEST_F(ManifestTest, RefusesInstallerValuesThatCannotBeWritten) {
  const std::string i = kApp + "[installer]\n";  // its first key on line 5
  fs::create_directories(dir_ / "folder.ico");
  // An icon file's header, then zeros up to 17 MiB.
  fs::resize_file(dir_.write("huge.ico", std::string("\0\0\1\0\1\0", 6)), 17u << 20);
  expect_refused({
      {i + "product_version = \"2.x\"\n", 5, "product_version \"2.x\" is not a version"},
      {i + "product_version = \"1.2.3.4.5\"\n", 5, "is not a version"},
      {i + "file_version = \"65536\"\n", 5, "file_version \"65536\" is not a version"},
      {i + "file_version = \"99999999999999999999\"\n", 5, "is not a version"},
      {i + "product_version = \"\"\n", 5, "is not a version"},
      {i + "product_version = \"1..2\"\n", 5, "is not a version"},
      {i + "product_version = \"2.\"\n", 5, "is not a version"},
      {i + "company = \"K\\testa\"\n", 5, "company holds the control character \"\\t\""},
      {i + "copyright = \"\\u0085\"\n", 5, "holds the control character"},
      {i + "copyright = \"" + std::string(257, 'c') + "\"\n", 5, "is 257 UTF-16 units long; at most 256"},
      {i + "description = \"" + std::string(128, 'd') + emoji(9) + std::string(119, 'd') + "\"\n", 5,
       "is 265 UTF-16 units long"},
      {i + "product_name = \"" + std::string(252, 'p') + "\"\n", 5, "the description made from product_name"},
      {i + "product_name = 3\n", 5, "[installer] \"product_name\" must be a string"},
      {i + "colour = \"red\"\n", 5, "[installer] has an unknown key \"colour\" (it takes icon, product_name,"},
      {i + "icon = \"missing.ico\"\n", 5,
       "[installer] icon \"" + tvpack::show_path(dir_ / "missing.ico") + "\" does not exist"},
      {i + "icon = \"\"\n", 5, "does not exist"},
      {i + "icon = \"folder.ico\"\n", 5, "is not a regular file"},
      {i + "icon = \"huge.ico\"\n", 5, "is 17825792 bytes, more than an icon file of 16 MiB of images"},
      {kApp + "[[installer]]\ncompany = \"K\"\n", 4, "\"installer\" must be a table: write one [installer] section"},
      {"installer = \"x\"\n" + kApp, 1, "must be a table"},
      {kApp + "[installer]\ncompany = \"K\"\n[installer]\ncopyright = \"C\"\n", 6, "not valid TOML"},
  });
  EXPECT_NO_THROW(tvpack::load_manifest(dir_.write("ok.toml", i + "copyright = \"" + std::string(256, 'c') + "\"\n")));
}

// folder_name: a name the installer takes (tv::is_folder_name) goes in as it is; any
// other is refused in one line that says why.
TEST_F(ManifestTest, ReadsAndRefusesTheFolderName) {
  const std::string i = kApp + "[installer]\n";  // its first key on line 5
  for (std::string name : {"DawnNotes", "晨光笔记 A&B 100%", "Dawn.Notes 2", "n"}) {
    if (name == "n") name = std::string(255, 'n');  // the longest Windows keeps
    tvpack::Manifest m = tvpack::load_manifest(dir_.write("m.toml", i + "folder_name = '" + name + "'\n"));
    EXPECT_EQ(m.installer.product.folder_name, tv::utf8_to_u16(name)) << name;
  }
  EXPECT_FALSE(tvpack::load_manifest(dir_.write("m.toml", i + "company = 'K'\n")).installer.product.folder_name);
  const std::string path = "it is one folder's name, not a path";
  const std::string device = "is a name Windows cannot hold as a folder";
  const std::string character = "which no folder name may hold";
  expect_refused({
      {i + "folder_name = 'Dawn\\Notes'\n", 5, "[installer] folder_name \"Dawn\\Notes\" holds \"\\\": " + path},
      {i + "folder_name = '\\DawnNotes'\n", 5, path},
      {i + "folder_name = 'Dawn/Notes'\n", 5, "holds \"/\": " + path},
      {i + "folder_name = 'CON'\n", 5, "folder_name \"CON\" " + device},
      {i + "folder_name = 'nul.txt'\n", 5, device},
      {i + "folder_name = 'lpt1'\n", 5, device},
      {i + "folder_name = 'DawnNotes.'\n", 5, device},
      {i + "folder_name = 'DawnNotes '\n", 5, device},
      {i + "folder_name = '.'\n", 5, device},
      {i + "folder_name = '..'\n", 5, device},
      {i + "folder_name = 'C:'\n", 5, "holds \":\", " + character},
      {i + "folder_name = 'a*b'\n", 5, "holds \"*\", " + character},
      {i + "folder_name = 'a?b'\n", 5, character},
      {i + "folder_name = 'a|b'\n", 5, character},
      {i + "folder_name = '<a>'\n", 5, character},
      {i + "folder_name = 'a\"b'\n", 5, character},
      {i + "folder_name = \"a\\tb\"\n", 5, "holds \"\\t\", " + character},
      {i + "folder_name = ''\n", 5, "[installer] folder_name \"\" is empty"},
      {i + "folder_name = '" + std::string(256, 'n') + "'\n", 5,
       "is 256 UTF-16 units long; a folder name has at most 255"},
      {i + "folder_name = 3\n", 5, "[installer] \"folder_name\" must be a string"},
  });
}

// ${NAME} from [define] and -D (which wins) in every kind of string, in one pass.
TEST_F(ManifestTest, ReplacesBuildTimeValues) {
  struct Case {
    std::string table;       // [define]'s lines
    tvpack::Defines command_line;
    std::string name;        // [installer] product_name, before
    std::u16string expected;  // and after
  };
  const std::vector<Case> cases = {
      {"v = \"1.0\"", {}, "T ${v}", u"T 1.0"},
      {"v = \"1.0\"", {{"v", "2.3.1"}}, "T ${v}", u"T 2.3.1"},
      {"", {{"v", "2.3.1"}, {"_9", "}"}}, "${v}${_9}${v}", u"2.3.1}2.3.1"},
      // What a value puts in is not read again, from the table or the command line.
      {"a = \"${b}\"\nb = \"x\"", {}, "${a}", u"${b}"},
      {"b = \"x\"", {{"a", "$${b}"}}, "${a}${b}", u"$${b}x"},
      {"v = \"1\"", {}, "$${v} $$${v} $ {v} $v $", u"${v} $${v} $ {v} $v $"},
      {"", {}, "100$ {App}", u"100$ {App}"},
  };
  dir_.write("Kesta/a.txt", "a");
  for (const Case& c : cases) {
    fs::path manifest = dir_.write(
        "m.toml", "[define]\n" + c.table + "\nd = 'Kesta'\n[installer]\nproduct_name = '" + c.name + "'\n" +
                      "[[variable]]\nname = \"{${d}}\"\nvalue = 'D:\\${d}'\n[[variable]]\nname = \"{App}\"\n"
                      "value = '{Kesta}'\n[[tree]]\nsource = \"${d}\"\ndestination = '{App}\\${d}'\n"
                      "[[shortcut]]\ntarget = '{App}\\${d}\\a.txt'\narguments = '${d}'\n"
                      "location = '{Desktop}\\${d}'\n");
    tvpack::Manifest m = tvpack::load_manifest(manifest, c.command_line);
    EXPECT_EQ(m.installer.product.product_name, c.expected) << c.name;
    EXPECT_TRUE(m.warnings.empty()) << c.name;
    ASSERT_EQ(m.variables.size(), 2u);
    EXPECT_EQ(m.variables[0].name + m.variables[0].value, u"{Kesta}D:\\Kesta");
    ASSERT_EQ(m.files.size(), 1u);
    EXPECT_EQ(m.files[0].destination, u"{App}\\Kesta\\a.txt");
    EXPECT_EQ(tvpack::shortcut_text(m.shortcuts), u"icon\n{App}\\Kesta\\a.txt\nKesta\n{Desktop}\\Kesta");
  }
}

// The line named is the string's; a value put in is checked as if written there.
TEST_F(ManifestTest, RefusesBuildTimeValuesThatCannotBeReplaced) {
  const std::string f = kApp + "[[file]]\nsource = \"a.txt\"\ndestination = '";  // destination on line 6
  std::string many;  // 20 times 60,000 bytes
  for (int n = 0; n < 20; ++n) many += "${k}";
  std::string variables;  // 70 strings of 17 times 60,000 bytes
  // Shown as written (never expanded), so that only their size is wrong.
  for (int n = 0; n < 70; ++n) variables += "[[variable]]\nname = \"{AppName}\"\nvalue = '" + many.substr(12) + "'\n";
  expect_refused({
      {f + "{App}\\${nope}'\n", 6, "${nope} is not defined: set nope in [define] or give -D nope=VALUE"},
      {f + "{App}\\${v'\n", 6, "has an unclosed \"${\""},
      {f + "{App}\\${1v}'\n", 6, "has \"${1v}\", which is not a name"},
      {f + "{App}\\${}'\n", 6, "which is not a name"},
      {f + "{App}\\${v}'\n", 6, "Windows does not allow", {{"v", "a?.txt"}}},
      {"[define]\nv = '{Nope}'\n" + f + "${v}\\a.txt'\n", 8, "uses {Nope}"},
      {kApp + "[installer]\nproduct_version = \"${v}\"\n[define]\nv = \"2.3\"\n", 5, "\"2.x\" is not a version",
       {{"v", "2.x"}}},
      {kApp + "[define]\n\"bad-name\" = \"x\"\n", 5, "[define] has the key \"bad-name\", which is not a name"},
      {kApp + "[define]\nv = 1\n", 5, "[define] v must be a string"},
      // A -D that no string uses, with the nearest name defined or used when there is one.
      {kApp + "[define]\nversion = \"0.0.0\"\n", 0,
       "-D versoin is not used: the manifest has no ${versoin}; did you mean version?", {{"versoin", "3.1.4"}}},
      {f + "{App}\\${version}'\n", 0, "-D versio is not used: the manifest has no ${versio}; did you mean version?",
       {{"version", "a.txt"}, {"versio", "3"}}},
      {kApp + "[[define]]\nv = \"1\"\n", 4, "\"define\" must be a table"},
      {kApp + "[installer]\ncompany = '" + many + "'\n", 5, "grows past 1 MiB", {{"k", std::string(60000, 'k')}}},
      {kApp + "[installer]\ncompany = '" + std::string(1100000, 'x') + "${k}'\n", 5, "grows past 1 MiB",
       {{"k", "k"}}},
      {kApp + variables, 6 + 3 * 65, "grow the manifest past 64 MiB", {{"k", std::string(60000, 'k')}}},
  });
}

// The room for the install folder is what the installer's own check keeps: for each
// manifest the build says N, a folder of N units passes the check of the installer
// it made and one of N + 1 is refused (the check run as the install button runs it).
// Under 60 the build warns.
TEST_F(ManifestTest, SummarySaysHowLongTheInstallFolderMayBe) {
  struct Case {
    std::string label;
    std::string app;       // {App}'s value
    std::string entries;   // [[variable]], [[file]] and [[shortcut]] tables after {App}'s
    size_t room;           // N
  };
  auto file = [](const std::string& destination) {
    return "[[file]]\nsource = \"a.txt\"\ndestination = '" + destination + "'\n";
  };
  auto variable = [](const std::string& name, const std::string& value) {
    return "[[variable]]\nname = \"" + name + "\"\nvalue = '" + value + "'\n";
  };
  const std::string a100(100, 'a');
  std::string han;  // 100 characters, one unit each
  for (int i = 0; i < 100; ++i) han += "数";
  const std::vector<Case> cases = {
      // The folder, "\" and 100 units: 259 - 101.
      {"through {App}", "D:\\Kesta", file("{App}\\" + a100), 158},
      {"through {App}, one unit a character", "D:\\Kesta", file("{App}\\" + han), 158},
      {"one level of the package's variables", "D:\\Kesta", variable("{Data}", "{App}\\data") + file("{Data}\\" + a100),
       259 - 106},
      {"two levels", "D:\\Kesta",
       variable("{Data}", "{App}\\data") + variable("{Lv}", "{Data}\\lv") + file("{Lv}\\" + a100), 259 - 109},
      {"the issue's manifest", "D:\\Kesta",
       variable("{Data}", "{App}\\data\\" + a100) + file("{Data}\\levels\\level-001.dat"), 132},
      {"a shortcut file, with .lnk", "D:\\Kesta",
       file("{App}\\a.txt") + "[[shortcut]]\ntarget = '{App}\\a.txt'\nlocation = '{App}\\" + std::string(150, 's') +
           "'\n",
       259 - 155},
      // "\\srv\k\x\\srv\k": twice the folder and 3 units, (259 - 3) / 2.
      {"{App} twice in a path", "\\\\srv\\k", file("{App}\\x\\{App}"), 128},
      {"outside {App} too", "D:\\Kesta",
       file("{App}\\" + std::string(200, 'w')) + file("C:\\Other\\" + std::string(230, 'o')) +
           file("{Desktop}\\" + std::string(200, 'd')),
       58},
      {"nothing below {App}: any folder the dialog takes", "D:\\Kesta", file("C:\\Other\\a.txt"), 259},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    fs::path manifest = dir_.write("m.toml", variable("{App}", c.app) + c.entries);
    tvpack::BuildOptions options;
    std::vector<std::string> warnings;
    options.warning = [&](const std::string& w) { warnings.push_back(w); };
    fs::path out = dir_ / "out/setup.exe";
    tvpack::BuildSummary summary = tvpack::build_installer(manifest, stub_, tvpack::kDefaultKey, out, options);
    EXPECT_EQ(summary.room, c.room);
    EXPECT_EQ(warnings.size(), c.room < 60 ? 1u : 0u);
    if (!warnings.empty()) {
      EXPECT_EQ(warnings[0], tvpack::show_path(manifest) + ": warning: the install folder may be at most " +
                                 std::to_string(c.room) + " characters long, as the package's longest path leaves "
                                 "no more (a folder under C:\\Users\\<name>\\AppData often takes 40 to 60)");
    }
    std::vector<uint8_t> bytes = tvpack::read_file(out);
    tvpack::InstallWalk walk;
    ASSERT_EQ(walk.open(bytes), "");
    for (size_t units : {c.room, c.room + 1}) {
      if (units > tv::kMaxPathUnits) continue;  // the dialog takes no more
      std::u16string folder = u"C:\\" + std::u16string(units - 3, u'f');
      unsigned room = 0;
      EXPECT_EQ(tv::check_install_paths(folder.c_str(), &room),
                units == c.room ? tv::PathCheck::kFits : tv::PathCheck::kTooLong)
          << units << " units";
    }
    EXPECT_TRUE(walk.messages().empty());
  }
}

// A -D that no string uses is told after the lines' own mistakes (it is about the
// whole manifest), with the nearest name the manifest uses, defined or not.
TEST_F(ManifestTest, TellsAnUnusedDefineLastWithTheNameMeant) {
  fs::path manifest = dir_.write("m.toml", kApp + "[[file]]\nsource = \"a.txt\"\ndestination = '{App}\\${version}'\n"
                                                 "[[file]]\nsource = \"nope.txt\"\ndestination = '{App}\\b'\n");
  tvpack::BuildOptions options;
  options.defines = {{"versoin", "1.0"}};
  std::string error;
  try {
    tvpack::build_installer(manifest, stub_, tvpack::kDefaultKey, dir_ / "out/setup.exe", options);
  } catch (const tvpack::PackError& e) {
    error = e.what();
  }
  const std::string m = tvpack::show_path(manifest);
  EXPECT_EQ(error, m + ":6: ${version} is not defined: set version in [define] or give -D version=VALUE\n" + m +
                       ":8: [[file]] source \"" + tvpack::show_path(dir_ / "nope.txt") + "\" does not exist\n" + m +
                       ": -D versoin is not used: the manifest has no ${versoin}; did you mean version?");
}

// The suggestion for a -D that is not used: at most two edits away, the first nearest.
TEST(Defines, NearestNameIsAtMostTwoEditsAway) {
  const std::set<std::string> names = {"build", "label", "version", "vers"};
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"versoin", "version"}, {"Version", "version"}, {"versio", "version"}, {"versionxx", "version"},
      {"ver", "vers"},        {"lable", "label"},     {"bild", "build"},     {"versionxxx", ""},
      {"xyz", ""},            {"versions", "version"}, {"", ""},              {"bu", ""},
  };
  for (const auto& [name, nearest] : cases) EXPECT_EQ(tvpack::nearest_name(name, names), nearest) << name;
}

// The maker's parts of a template are the tokens the installer's expansion takes: both
// give the template's expansion with the same names defined, or both see it unclosed.
TEST(TemplateParts, AreTheInstallersTokens) {
  tvpack::InstallerSession session;
  const std::map<std::u16string, std::u16string> values = {
      {u"{A}", u"1"}, {u"{B}", u"2"}, {u"{a{b}", u"3"}, {u"{}", u"4"}, {u"{c}", u"5"}};
  for (const auto& [name, value] : values) session.define(name, value);
  const std::vector<std::pair<std::u16string, std::optional<std::u16string>>> cases = {
      {u"", u""},         {u"plain}text", u"plain}text"}, {u"{A}\\x", u"1\\x"}, {u"x{A}{B}y", u"x12y"},
      {u"{a{b}}", u"3}"}, {u"<{}>", u"<4>"},              {u"}{A}}", u"}1}"},       {u"{A}{a{b}{c}", u"135"},
      {u"{A", {}},        {u"x{A}{", {}},                 {u"{{{", {}},             {u"{}{", {}},
  };
  for (const auto& [templ, expansion] : cases) {
    std::u16string joined;
    bool unclosed = false;
    for (const tvpack::TemplatePart& part : tvpack::template_parts(templ)) {
      unclosed = unclosed || part.unclosed;
      joined += part.variable ? values.at(part.text) : part.text;
    }
    EXPECT_EQ(unclosed ? std::nullopt : std::optional<std::u16string>(joined), expansion) << tv::u16_to_utf8(templ);
    EXPECT_EQ(session.expand(templ), expansion) << tv::u16_to_utf8(templ);
  }
}

TEST_F(ManifestTest, KeepsTheManifestsOrderAndSortsTreesByComponent) {
  for (const char* name : {"t/a/b", "t/a.txt", "t/Z.txt", "t/帮助.txt"}) dir_.write(name, name);
  fs::path manifest = dir_.write(
      "m.toml", "format_version = 0\n" + kApp +
                    "[[variable]]\nname = \"{AppName}\"\nvalue = '{raw, never expanded'\n"
                    "[[variable]]\nname = \"{Data}\"\nvalue = '{App}\\data'\n"
                    "[[file]]\nsource = \"a.txt\"\ndestination = '{Data}\\1.txt'\n"
                    "[[tree]]\nsource = \"t\"\ndestination = '{App}\\t\\'\n"
                    "[[file]]\nsource = \"a.txt\"\ndestination = '{Programs}\\2.txt'\n"
                    "[[shortcut]]\ntarget = '{Data}\\1.txt'\nlocation = '{Desktop}\\One'\n"
                    "[[shortcut]]\ntarget = '{App}\\t'\narguments = '/x \"{Data}\"'\nlocation = '{Programs}\\T\\2'\n");
  tvpack::Manifest m = tvpack::load_manifest(manifest);
  EXPECT_EQ(m.format_version, 0);
  ASSERT_EQ(m.variables.size(), 3u);
  EXPECT_EQ(m.variables[1].value, u"{raw, never expanded");
  std::vector<std::u16string> dests;
  for (const auto& f : m.files) dests.push_back(f.destination);
  // "a" (a folder) before "a.txt", capitals before small letters.
  EXPECT_EQ(dests, (std::vector<std::u16string>{u"{Data}\\1.txt", u"{App}\\t\\Z.txt", u"{App}\\t\\a\\b",
                                                 u"{App}\\t\\a.txt", u"{App}\\t\\帮助.txt", u"{Programs}\\2.txt"}));
  EXPECT_EQ(tvpack::shortcut_text(m.shortcuts),
            u"icon\n{Data}\\1.txt\n\n{Desktop}\\One\nicon\n{App}\\t\n/x \"{Data}\"\n{Programs}\\T\\2");
  EXPECT_EQ(tvpack::build_script(m).size(), m.script_size);
}

}  // namespace
