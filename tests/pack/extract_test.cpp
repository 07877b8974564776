// extract: a tree comes back byte for byte; a hostile package writes nothing outside
// the folder, whatever its paths say.
#include <algorithm>
#include <map>
#include <sstream>

#include "common/errors.h"
#include "read/extract.h"
#include "read/inspect.h"
#include "session/installer_session.h"
#include "assemble/build.h"
#include "pack_test_support.h"
#include "package/writer.h"

namespace {

using namespace packtest;
using Bytes = std::vector<uint8_t>;

// Every file and folder below root (relative, "/"-separated) with its bytes.
std::map<std::string, std::string> snapshot(const fs::path& root) {
  std::map<std::string, std::string> all;
  for (fs::recursive_directory_iterator it(root), end; it != end; ++it) {
    std::string rel = it->path().lexically_relative(root).generic_u8string();
    if (it->is_symlink())
      all[rel] = "link -> " + fs::read_symlink(it->path()).generic_u8string();
    else if (it->is_directory())
      all[rel] = "folder";
    else {
      Bytes b = read_bytes(it->path());
      all[rel] = std::string(b.begin(), b.end());
    }
  }
  return all;
}

class Extract : public ::testing::Test {
 protected:
  void SetUp() override { stub_ = any_stub(dir_); }
  // A package of the given destinations (each file's content is its index) and shortcuts text.
  fs::path wrap(const std::vector<std::u16string>& destinations, const std::u16string& shortcuts = u"") {
    tv::ScriptWriter w;
    w.put_int(1), w.put_int(1), w.put_string(u"{App}"), w.put_string(u"D:\\Kesta");
    w.put_int(int32_t(destinations.size()));
    for (size_t i = 0; i < destinations.size(); ++i) {
      std::string content = "file " + std::to_string(i);
      w.put_string(destinations[i]), w.put_int(int32_t(content.size())), w.put_bytes(content.data(), content.size());
    }
    w.put_string(shortcuts);
    fs::path out = dir_ / "in/setup.exe";
    fs::create_directories(out.parent_path());
    tvpack::wrap_script(dir_.write("in/script.bin", w.bytes()), stub_, 7, out);
    return out;
  }
  int extract(const fs::path& installer, const fs::path& into, bool force = false) {
    out_.str(""), err_.str("");
    return tvpack::extract_installer(installer, into, force, out_, err_);
  }
  TempDir dir_;
  fs::path stub_;
  std::ostringstream out_, err_;
};

TEST_F(Extract, ATreeComesBackByteForByte) {
  for (const char* name : {"tree/Talvenor.exe", "tree/数据/odd.bin", "tree/数据/sub/deep/x.txt", "tree/z.txt"})
    dir_.write(name, pattern(std::string(name).size() * 37, 3));
  dir_.write("tree/empty.dat", "");
  fs::path manifest = dir_.write("m.toml",
                                 "[[variable]]\nname = \"{App}\"\nvalue = 'D:\\Kesta'\n"
                                 "[[tree]]\nsource = \"tree\"\ndestination = '{App}'\n"
                                 "[[file]]\nsource = \"tree/z.txt\"\ndestination = '{Desktop}\\z.txt'\n"
                                 "[[file]]\nsource = \"tree/z.txt\"\ndestination = 'E:\\other\\z.txt'\n"
                                 "[[shortcut]]\ntarget = '{App}\\Talvenor.exe'\narguments = '-a'\n"
                                 "location = '{Programs}\\T\\T'\n");
  tvpack::build_installer(manifest, stub_, tvpack::kDefaultKey, dir_ / "setup.exe");
  ASSERT_EQ(extract(dir_ / "setup.exe", dir_ / "x"), 0) << err_.str();
  auto back = snapshot(dir_ / "x");
  std::string outside = tvpack::kOutsideFolder;
  EXPECT_EQ(back[outside + "/Desktop/z.txt"], back["z.txt"]);
  EXPECT_EQ(back[outside + "/E/other/z.txt"], back["z.txt"]);
  fs::remove_all(dir_ / "x" / outside);
  EXPECT_EQ(snapshot(dir_ / "x"), snapshot(dir_ / "tree"));
  EXPECT_NE(out_.str().find("outside {App}: {Desktop}\\z.txt -> " + outside + "/Desktop/z.txt\n"), std::string::npos)
      << out_.str();
  EXPECT_NE(out_.str().find("shortcut (not made): {Programs}\\T\\T.lnk  target={App}\\Talvenor.exe  arguments=\"-a\""),
            std::string::npos)
      << out_.str();

  // The folder must be new or empty, unless --force.
  dir_.write("full/keep.txt", "keep");
  EXPECT_THROW(extract(dir_ / "setup.exe", dir_ / "full"), tvpack::PackError);
  EXPECT_EQ(snapshot(dir_ / "full").size(), 1u);
  EXPECT_EQ(extract(dir_ / "setup.exe", dir_ / "full", true), 0);
  EXPECT_EQ(snapshot(dir_ / "full")["keep.txt"], "keep");
}

// Each hostile destination is refused with one warning; the rest are written; the
// status is 2; nothing anywhere in the temporary root but the folder changes.
TEST_F(Extract, HostilePathsWriteNothingOutsideTheFolder) {
  const std::vector<std::u16string> hostile = {
      u"{App}\\..\\escape.txt",         u"{App}\\a\\..\\..\\escape.txt", u"{App}/../escape.txt",
      u"E:\\..\\..\\..\\escape.txt",    u"{App}\\a:b.txt",               u"{App}\\c:\\escape.txt",
      u"{App}\\x\\C:escape.txt",        u"{Desktop}\\..\\..\\escape.txt", u"\\\\server\\..\\..\\escape.txt",
      u"{App}\\a.txt\\b.txt",          u"{App}",                         u"..\\escape.txt",
      u"\\..\\escape.txt",            u"{App}\\\xD800.txt",           u"{App}\\\xDC00\\x.txt",
  };
  std::vector<std::u16string> all = {u"{App}\\a.txt", u"Z:\\abs\\z.txt", u"{App}\\.\\sub\\..\\in.txt"};
  all.insert(all.end(), hostile.begin(), hostile.end());
  // Its shortcut's lines are shown with {App} wherever it stands, control characters escaped.
  fs::path setup = wrap(all, u"icon\n{App}\\t\x1B]0;x\x07.exe\n\"{App}\\read me.txt\"\n{Desktop}\\T");
  // Deep enough that whatever the paths climb stays inside the temporary root.
  fs::path into = dir_ / "a/b/c/d/x";
  fs::create_directories(into);
  auto before = snapshot(dir_ / "");
  EXPECT_EQ(extract(setup, into), 2);
  auto after = snapshot(dir_ / "");
  for (auto it = after.begin(); it != after.end();)
    it = it->first.rfind("a/b/c/d/x/", 0) == 0 ? after.erase(it) : std::next(it);
  EXPECT_EQ(after, before) << "something was written outside the folder";
  auto x = snapshot(into);
  EXPECT_EQ(x["a.txt"], "file 0");
  EXPECT_EQ(x[std::string(tvpack::kOutsideFolder) + "/Z/abs/z.txt"], "file 1");
  EXPECT_EQ(x["in.txt"], "file 2");
  std::string warnings = err_.str();
  EXPECT_EQ(size_t(std::count(warnings.begin(), warnings.end(), '\n')), hostile.size()) << warnings;
  for (const char* phrase : {"\"{App}\\..\\escape.txt\" leaves {App} through \"..\"", "a name with \":\"",
                             "not valid UTF-16", "lies below a file already written"})
    EXPECT_NE(warnings.find(phrase), std::string::npos) << phrase << " in\n" << warnings;
  EXPECT_NE(out_.str().find("target={App}\\t\\x1B]0;x\\x07.exe  arguments=\"\\\"{App}\\read me.txt\\\"\""), std::string::npos)
      << out_.str();
}

// A path the installer writes that holds a name Windows cannot hold (a file's, or a
// shortcut's .lnk file) refuses the whole package, as the installer does: status 2,
// the name told, not even the folder made; inspect marks it. The user's own folders
// are not held to it.
TEST_F(Extract, ANameWindowsCannotHoldRefusesThePackage) {
  struct Case {
    std::u16string path, shortcuts;
    const char* told;  // "" when the package extracts
  } cases[] = {
      {u"{App}\\sub\\NUL.txt", u"", "\"{App}\\sub\\NUL.txt\" holds the name \"NUL.txt\""},
      {u"{App}\\aux", u"", "\"{App}\\aux\" holds the name \"aux\""},
      {u"{App}\\notes.", u"", "\"{App}\\notes.\" holds the name \"notes.\""},
      {u"{App}\\con .txt\\x", u"", "holds the name \"con .txt\""},
      {u"E:\\LPT\u00B3\\x", u"", "holds the name \"LPT\u00B3\""},
      {u"{Desktop}\\space ", u"", "holds the name \"space \""},
      {u"{App}\\a.txt", u"icon\n{App}\\a.txt\n\n{Desktop}\\PRN", "\"{Desktop}\\PRN.lnk\" holds the name \"PRN.lnk\""},
      {u"{App}\\COM10\\CONX.txt", u"icon\n{App}\\a.txt\n\n{Desktop}\\T.", ""},
  };
  for (const Case& c : cases) {
    fs::path into = dir_ / "x";
    fs::remove_all(into);
    fs::path setup = wrap({u"{App}\\first.txt", c.path}, c.shortcuts);
    std::string told = c.told;
    EXPECT_EQ(extract(setup, into), told.empty() ? 0 : 2) << err_.str();
    EXPECT_EQ(fs::exists(into), told.empty()) << told;
    if (!told.empty())
      EXPECT_NE(err_.str().find(told + ", which Windows cannot hold"), std::string::npos) << err_.str();
    // inspect marks the same paths.
    std::ostringstream listing;
    tvpack::inspect_file(setup, listing);
    EXPECT_EQ(listing.str().find("<- Windows cannot hold") != std::string::npos, !told.empty()) << listing.str();
    // And its room: none, as the installer's own check refuses the package.
    EXPECT_EQ(listing.str().find("install folder: none (the installer's own check refuses the package when the "
                                 "install button is pressed: a path holds a name Windows cannot hold)") !=
                  std::string::npos,
              !told.empty())
        << listing.str();
  }
}

// A shortcut's arguments read back as one Windows command-line argument.
TEST(ExtractListing, ArgumentsAreQuotedAsOneArgument) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", R"("")"},
      {"-a", R"("-a")"},
      {R"("{App}\read me.txt")", R"("\"{App}\read me.txt\"")"},
      {R"(C:\dir\)", R"("C:\dir\\")"},
      {R"(a\"b)", R"("a\\\"b")"},
      {R"(x\\")", R"("x\\\\\"")"},
      {"\t\"", R"("\t\"")"},
  };
  for (const auto& [text, quoted] : cases) EXPECT_EQ(tvpack::quoted_arguments(text), quoted) << text;
}

// Whether a path lies below the folder is compared as Windows compares names, so a
// folder spelt in another case is the same folder, not one outside it. Whether it lies
// in a user's own folder is the installer's reading (the start given): a path written
// out literally is plain, whatever folder it names.
TEST(ExtractTarget, AFolderSpeltInAnotherCaseIsTheSame) {
  const std::string o = std::string(tvpack::kOutsideFolder) + "/";
  const tvpack::PathStart plain, desktop{u"{Desktop}", 23}, programs{u"{Programs}", 7};
  const struct {
    std::u16string destination;
    tvpack::PathStart start;
    std::string relative;
  } cases[] = {
      {u"D:\\Kesta\\a.txt", plain, "a.txt"},
      {u"d:\\KESTA\\Sub\\a.txt", plain, "Sub/a.txt"},
      {u"D:\\Kesta/a.txt", plain, "a.txt"},
      {u"D:\\Kestas\\a.txt", plain, o + "D/Kestas/a.txt"},
      {u"C:\\Users\\Tester\\Desktop\\x.lnk", desktop, o + "Desktop/x.lnk"},
      {u"C:\\Users\\Tester\\Desktop\\Sub\\x.lnk", desktop, o + "Desktop/Sub/x.lnk"},
      // Written out literally: the installer reads no folder of the user's there.
      {u"C:\\USERS\\tester\\desktop\\x.lnk", plain, o + "C/USERS/tester/desktop/x.lnk"},
      {u"C:\\Users\\Tester\\Desktops\\x.lnk", plain, o + "C/Users/Tester/Desktops/x.lnk"},
      // The folder's value is as long as the installer says, whatever its spelling.
      {u"E:\\Menu\\G\\x.lnk", programs, o + "Programs/G/x.lnk"},
      {u"E:\\Menu\\..\\x.lnk", programs, ""},
      // A start longer than the path (never the installer's): the path as written.
      {u"E:\\a", desktop, o + "E/a"},
      // Below {App} first, whatever the start.
      {u"D:\\Kesta\\b", desktop, "b"},
  };
  for (const auto& c : cases) {
    std::string refusal;
    EXPECT_EQ(tvpack::extract_target(c.destination, u"D:\\Kesta", c.start, &refusal), c.relative)
        << tvpack::printable(c.destination) << ": " << refusal;
  }
}

// Names that differ only in case are one, as the installer finds them on Windows:
// the first spelling wins (or the folder's own), a later file replaces the bytes.
TEST_F(Extract, NamesThatDifferInCaseAreOne) {
  fs::create_directories(dir_ / "x/Old");
  dir_.write("x/README.TXT", "there before");
  fs::path setup = wrap({u"{App}\\Ä.txt", u"{App}\\ä.txt", u"{App}\\Д\\x.txt", u"{App}\\д\\y.txt", u"{App}\\ß",
                         u"{App}\\SS", u"E:\\Dir\\f", u"e:\\dIR\\F", u"{App}\\readme.txt", u"{App}\\old\\z",
                         u"{App}\\ǅ", u"{App}\\ǆ\\refused.txt"});
  EXPECT_EQ(extract(setup, dir_ / "x", true), 2);
  const std::string o = tvpack::kOutsideFolder;
  EXPECT_EQ(snapshot(dir_ / "x"), (std::map<std::string, std::string>{
                                      {"Ä.txt", "file 1"}, {"Д", "folder"}, {"Д/x.txt", "file 2"},
                                      {"Д/y.txt", "file 3"}, {"ß", "file 4"}, {"SS", "file 5"}, {o, "folder"},
                                      {o + "/E", "folder"}, {o + "/E/Dir", "folder"}, {o + "/E/Dir/f", "file 7"},
                                      {"README.TXT", "file 8"}, {"Old", "folder"}, {"Old/z", "file 9"},
                                      {"ǅ", "file 10"}}));
  EXPECT_NE(err_.str().find("lies below a file already written"), std::string::npos) << err_.str();
}

#ifndef _WIN32
// A link already in the folder is never followed, to a folder or to a file; a file
// hard-linked to one outside is replaced, the one outside keeps its bytes.
TEST_F(Extract, LinksAlreadyInTheFolderAreNotFollowed) {
  fs::create_directories(dir_ / "elsewhere");
  dir_.write("elsewhere/victim.txt", "victim");
  dir_.write("elsewhere/hard.txt", "hard");
  fs::create_directories(dir_ / "x");
  fs::create_directory_symlink(dir_ / "elsewhere", dir_ / "x/sub");
  fs::create_symlink(dir_ / "elsewhere/victim.txt", dir_ / "x/file.txt");
  fs::create_hard_link(dir_ / "elsewhere/hard.txt", dir_ / "x/hard.txt");
  fs::path setup = wrap({u"{App}\\sub\\new.txt", u"{App}\\file.txt", u"{App}\\ok.txt", u"{App}\\hard.txt"});
  EXPECT_EQ(extract(setup, dir_ / "x", true), 2);
  EXPECT_EQ(snapshot(dir_ / "elsewhere"),
            (std::map<std::string, std::string>{{"victim.txt", "victim"}, {"hard.txt", "hard"}}));
  EXPECT_EQ(snapshot(dir_ / "x")["ok.txt"], "file 2");
  EXPECT_EQ(snapshot(dir_ / "x")["hard.txt"], "file 3");
  EXPECT_NE(err_.str().find("would go through the link"), std::string::npos) << err_.str();
}
#endif

}  // namespace
