// The check of the package's paths that the install sequence makes before anything
// is moved or written: folders too long for the paths, names Windows cannot hold.
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "install/install.h"
#include "install/path_check.h"
#include "package/script.h"
#include "platform/posix/posix_platform.h"
#include "platform/text16.h"
#include "support/test_support.h"
#include "variables/table.h"

namespace {

using tv::InstallOutcome;
using tvtest::FileEntry;
using Vars = std::vector<std::pair<std::u16string, std::u16string>>;

const std::u16string kOld = u"_\u65E7\u7248\u672C";  // _旧版本

// 安装目录太长，安装后的文件路径会超过 259 个字符。请选择不超过 N 个字符的目录。
std::u16string too_long_text(unsigned room) {
  return u"\u5B89\u88C5\u76EE\u5F55\u592A\u957F\uFF0C\u5B89\u88C5\u540E\u7684\u6587\u4EF6"
         u"\u8DEF\u5F84\u4F1A\u8D85\u8FC7 259 \u4E2A\u5B57\u7B26\u3002\u8BF7\u9009\u62E9\u4E0D"
         u"\u8D85\u8FC7 " + tv::utf8_to_u16(std::to_string(room)) +
         u" \u4E2A\u5B57\u7B26\u7684\u76EE\u5F55\u3002";
}

// A folder of `units` units on D:.
std::u16string folder_of(size_t units) { return u"D:\\" + std::u16string(units - 3, u'k'); }

class PathCheckTest : public tvtest::InstallerTest {
 protected:
  void load(const Vars& vars, const std::vector<FileEntry>& files, const std::u16string& shortcuts) {
    embed_script(tvtest::make_script(1, vars, files, shortcuts));
    ASSERT_EQ(tv::load_package(), 1);
  }
  // Every file under the stand-in's root, with its content.
  std::set<std::pair<std::string, std::string>> disk() const {
    std::set<std::pair<std::string, std::string>> out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root_)) {
      if (!e.is_regular_file()) continue;
      std::ostringstream content;
      content << std::ifstream(e.path(), std::ios::binary).rdbuf();
      out.insert({e.path().lexically_relative(root_).generic_string(), content.str()});
    }
    return out;
  }
  // An old installation at folder, which a refusal must leave where it is.
  void old_version_at(const std::u16string& folder) {
    make_host_dir(folder);
    write_host_file(folder + u"\\old.txt", "old");
  }
};

// The deepest path below "{App}" holds 200 units (after "{App}\"), in a file that
// follows "{App}" through a variable or in a shortcut file with its ".lnk": a folder
// of 258 - 200 = 58 units is the longest that leaves room.
TEST_F(PathCheckTest, FolderLengthsAroundTheRoom) {
  const std::u16string deep_file = u"{Bin}\\" + std::u16string(95, u'a') + u"\\" +
                                   std::u16string(100, u'b');  // "bin\" + 196 units
  const std::u16string deep_link = u"{App}\\" + std::u16string(196, u'c');  // + ".lnk"
  struct Case {
    bool deep_is_link;
    size_t folder;
    unsigned room;  // 0: installs
  } cases[] = {{false, 57, 0}, {false, 58, 0}, {false, 59, 58}, {true, 58, 0}, {true, 59, 58}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.folder) + (c.deep_is_link ? " link" : " file"));
    messages_.clear();
    std::u16string deep = c.deep_is_link ? u"{App}\\short" : deep_file;
    load({{u"{App}", u"D:\\Kesta"}, {u"{Bin}", u"{App}\\bin"}},
         {{u"{App}\\readme.txt", "hi"}, {deep, "deep"}},
         u"icon\n{App}\\readme.txt\n\n" + (c.deep_is_link ? deep_link : u"{App}\\short") +
             u"\nicon\n{App}\\readme.txt\n\n{Desktop}\\Talvenor");
    std::u16string folder = folder_of(c.folder);
    old_version_at(folder);
    auto before = disk();
    const uint8_t* files_at = tv::script_cursor().pos;
    InstallOutcome outcome = tv::run_install_sequence(folder.c_str());
    if (c.room != 0) {
      EXPECT_EQ(outcome, InstallOutcome::kFolderTooLong);
      ASSERT_EQ(messages_.size(), 1u);
      EXPECT_EQ(messages_[0].text, too_long_text(c.room));
      EXPECT_EQ(messages_[0].caption, u"\u5B89\u88C5\u76EE\u5F55\u592A\u957F");  // 安装目录太长
      EXPECT_EQ(messages_[0].type, 0x30u);
      EXPECT_EQ(disk(), before);  // nothing moved or written
      EXPECT_EQ(tv::script_cursor().pos, files_at);
      // The same dialog then installs everything into a folder that leaves room.
      folder = folder_of(c.room);
      outcome = tv::run_install_sequence(folder.c_str());
    }
    EXPECT_EQ(outcome, InstallOutcome::kInstalled);
    EXPECT_EQ(read_host_file(folder + u"\\readme.txt"), "hi");
    std::u16string below = c.deep_is_link ? deep_link.substr(5) + u".lnk" : deep_file.substr(5);
    EXPECT_TRUE(host_exists(folder + (c.deep_is_link ? u"" : u"\\bin") + below));
    EXPECT_TRUE(host_exists(u"C:\\Users\\Tester\\Desktop\\Talvenor.lnk"));
    EXPECT_EQ(messages_.size(), c.room != 0 ? 1u : 0u);
  }
}

// A path that does not depend on the folder is handled as before: a shortcut too long
// under {Desktop} is passed over, and the install goes on without a word.
TEST_F(PathCheckTest, LengthsThatNoFolderChangesAreLeftAlone) {
  load({{u"{App}", u"D:\\Kesta"}}, {{u"{App}\\a.txt", "a"}},
       u"icon\n{App}\\a.txt\n\n{Desktop}\\" + std::u16string(240, u'd'));
  EXPECT_EQ(tv::run_install_sequence(u"D:\\Kesta"), InstallOutcome::kInstalled);
  EXPECT_TRUE(messages_.empty());
  EXPECT_TRUE(host_exists(u"D:\\Kesta\\a.txt"));
}

// A name Windows cannot hold, contributed by the package to a file or a shortcut
// file, directly or through a variable: the damaged-package box, nothing moved or
// written. The user's own folders are what they are.
TEST_F(PathCheckTest, NamesWindowsCannotHold) {
  struct Case {
    Vars vars;
    std::u16string file;       // after {App}\a.txt
    std::u16string shortcut;   // a location for {App}\a.txt
    std::u16string typed, desktop;
    bool refused;
  } cases[] = {
      {{}, u"{App}\\sub\\NUL.txt", u"{Desktop}\\T", u"", u"", true},
      {{}, u"{App}\\aux", u"{Desktop}\\T", u"", u"", true},
      {{}, u"{App}\\notes.", u"{Desktop}\\T", u"", u"", true},
      {{{u"{Data}", u"{App}\\com1"}}, u"{Data}\\x.txt", u"{Desktop}\\T", u"", u"", true},
      {{}, u"{App}\\b.txt", u"{Desktop}\\con", u"", u"", true},
      {{}, u"{App}\\b.txt", u"{Programs}\\Group.\\T", u"", u"", true},
      {{{u"{Desktop}", u"D:\\NUL"}}, u"{App}\\b.txt", u"{Desktop}\\T", u"", u"", true},
      {{}, u"{App}\\b.txt", u"{Desktop}\\T", u"D:\\con\\x.", u"C:\\Users\\aux .", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(tvtest::utf8((c.file + u" " + c.shortcut).c_str()));
    messages_.clear();
    tv::posix::set_special_folder(0, c.desktop.empty() ? u"C:\\Users\\Tester\\Desktop" : c.desktop);
    Vars vars = {{u"{App}", u"D:\\Kesta"}};
    vars.insert(vars.end(), c.vars.begin(), c.vars.end());
    load(vars, {{u"{App}\\a.txt", "a"}, {c.file, "x"}}, u"icon\n{App}\\a.txt\n\n" + c.shortcut);
    old_version_at(u"D:\\Kesta");
    auto before = disk();
    std::u16string folder = c.typed.empty() ? u"D:\\Kesta" : c.typed;
    if (!c.refused) {  // checked alone: a Windows host cannot make these folders either
      unsigned room = 0;
      EXPECT_EQ(tv::check_install_paths(folder.c_str(), &room), tv::PathCheck::kFits);
      EXPECT_TRUE(messages_.empty());
      continue;
    }
    EXPECT_EQ(tv::run_install_sequence(folder.c_str()), InstallOutcome::kFailed);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, u"\u5B89\u88C5\u6587\u4EF6\u5DF2\u635F\u574F!");  // 安装文件已损坏!
    EXPECT_EQ(messages_[0].caption, u"\u5B89\u88C5\u5931\u8D25");                // 安装失败
    EXPECT_EQ(disk(), before);
  }
}

}  // namespace
