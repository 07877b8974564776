// The check of the folder the user chose and of the room on its drive, made by the
// install button before anything is moved or written.
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "install/install.h"
#include "platform/platform.h"
#include "base/text16.h"
#include "platform/standin/standin.h"
#include "support/test_support.h"
#include "variables/table.h"

namespace {

using tv::InstallOutcome;

class FolderCheckTest : public tvtest::InstallerTest {
 protected:
  // {App} = D:\Kesta, {Bin} follows it; one file of `bytes` bytes.
  void load(size_t bytes = 3) {
    embed_script(tvtest::make_script(1, {{u"{App}", u"D:\\Kesta"}, {u"{Bin}", u"{App}\\bin"}},
                                     {{u"{Bin}\\t.exe", std::string(bytes, 'x')}},
                                     u"icon\n{Bin}\\t.exe\n\n{Desktop}\\T"));
    ASSERT_EQ(tv::load_package(), 1);
  }
  std::map<std::string, std::string> disk() const {
    std::map<std::string, std::string> out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root_)) {
      std::ostringstream content;
      if (e.is_regular_file()) content << std::ifstream(e.path(), std::ios::binary).rdbuf();
      out[e.path().generic_string()] = content.str();
    }
    return out;
  }
  std::string app() const { return tvtest::utf8(*tv::find_variable(u"{App}")); }
};

// Every kind of folder refused, each with its box (warning, OK) quoting the folder as
// typed; the dialog stays, nothing is moved or written, the variables are unchanged.
// Its neighbours install.
TEST_F(FolderCheckTest, FoldersRefusedAndTheirNeighbours) {
  struct Case {
    std::u16string typed;
    bool refused;
    std::u16string text;  // what the text holds after the quoted folder
  } cases[] = {
      {u"Kesta", true, u"不是完整的安装目录。请输入完整的安装目录，例如 D:\\Kesta。"},
      {u"\\Kesta", true, u"不是完整的安装目录。"},
      {u"C:Kesta", true, u"不是完整的安装目录。"},
      {u"C:\\", true, u"是磁盘或共享的根目录。请在其中指定一个文件夹，例如 C:\\Kesta。"},
      {u"D:\\\\", true, u"是磁盘或共享的根目录。请在其中指定一个文件夹，例如 D:\\Kesta。"},
      {u"\\\\server\\share", true,
       u"是磁盘或共享的根目录。请在其中指定一个文件夹，例如 \\\\server\\share\\Kesta。"},
      {u"Q:\\Kesta", true, u"所在的磁盘 Q: 不存在。请选择已有磁盘上的文件夹。"},
      {u"D:\\a|b", true, u"含有 Windows 不允许的字符（< > \" | ? * / : 或控制字符）。请删去这些字符。"},
      {u"D:\\a:b\\c", true, u"含有 Windows 不允许的字符"},
      {u"D:\\NUL", true, u"中的“NUL”不能用作 Windows 文件夹名"},
      {u"D:\\Kesta.", true, u"中的“Kesta.”不能"},
      {u"D:\\x\\..\\Kesta", true, u"中的“..”不能"},
      {u"D:\\x\\\\Kesta", true, u"中有连续的反斜杠。请删去多余的反斜杠。"},
      {u"C:\\Users\\Tester\\Documents", true,
       u"是系统或您自己的文件夹（或包含这样的文件夹），安装时会被整个移走。请另选一个新文件夹。"},
      {u"c:\\users\\tester\\desktop\\", true, u"是系统或您自己的文件夹"},
      {u"C:\\Users\\Tester", true, u"是系统或您自己的文件夹"},
      {u"C:\\Users", true, u"是系统或您自己的文件夹"},
      {u"C:\\Program Files", true, u"是系统或您自己的文件夹"},
      {u"C:\\Windows", true, u"是系统或您自己的文件夹"},
      {u"D:\\Kesta\u597D", false, u""},
      {u"D:\\a b\\c", false, u""},
      {u"\\\\server\\share\\app", false, u""},
      {u"D:\\Kesta_\u65E7\u7248\u672C1", false, u""},
      {u"D:\\Games\\Kesta", false, u""},
      {u"C:\\Users\\Tester\\AppData\\Local\\Programs\\Kesta", false, u""},
      {u"C:\\Users\\Tester\\Documents\\Kesta", false, u""},
      {u"C:\\Users\\Tester2", false, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(tvtest::utf8(c.typed.c_str()));
    messages_.clear();
    load();
    make_host_dir(u"D:\\Kesta");  // an old installation, which a refusal leaves alone
    write_host_file(u"D:\\Kesta\\old.txt", "old");
    auto before = disk();
    InstallOutcome outcome = tv::run_install_sequence(c.typed.c_str());
    if (!c.refused) {
      EXPECT_EQ(outcome, InstallOutcome::kInstalled);
      EXPECT_TRUE(messages_.empty());
      std::u16string folder = c.typed;
      EXPECT_TRUE(host_exists(folder + u"\\bin\\t.exe"));
      continue;
    }
    EXPECT_EQ(outcome, InstallOutcome::kFolderRefused);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].caption, u"安装目录无效");
    EXPECT_EQ(messages_[0].type, 0x30u);  // a warning, OK
    const std::u16string& text = messages_[0].text;
    EXPECT_EQ(text.rfind(u"“" + c.typed + u"”", 0), 0u) << tvtest::utf8(text.c_str());
    EXPECT_EQ(text.find(c.text), c.typed.size() + 2) << tvtest::utf8(text.c_str());
    EXPECT_EQ(disk(), before);
    EXPECT_EQ(app(), "D:\\Kesta");
    EXPECT_EQ(tvtest::utf8(*tv::find_variable(u"{Bin}")), "D:\\Kesta\\bin");
  }
}

// The boxes' examples name the product's folder: the folder-name resource, else the last
// name of the package's {App}, else Kesta; on the drive or share typed, else on D:.
TEST_F(FolderCheckTest, ExamplesNameTheProductsFolder) {
  const std::u16string not_full = u"不是完整的安装目录。请输入完整的安装目录，例如 ";
  const std::u16string root = u"是磁盘或共享的根目录。请在其中指定一个文件夹，例如 ";
  struct Case {
    const char16_t* folder_name;  // the resource; nullptr: none
    const char16_t* app;          // {App} as the package gives it
    const char16_t* typed;
    std::u16string text;          // after the quoted folder
  } cases[] = {
      {u"DawnNotes", u"D:\\Kesta", u"Kesta", not_full + u"D:\\DawnNotes。"},
      {u"DawnNotes", u"D:\\Kesta", u"C:\\", root + u"C:\\DawnNotes。"},
      {u"晨光笔记", u"D:\\Kesta", u"E:\\\\", root + u"E:\\晨光笔记。"},
      {u"DawnNotes", u"D:\\Kesta", u"\\\\server\\share", root + u"\\\\server\\share\\DawnNotes。"},
      {u"DawnNotes", u"D:\\Kesta", u"C:Notes", not_full + u"C:\\DawnNotes。"},
      {u"DawnNotes", u"D:\\Kesta", u"\\Notes", not_full + u"D:\\DawnNotes。"},
      {nullptr, u"{AppData}\\DawnNotes", u"Kesta", not_full + u"D:\\DawnNotes。"},
      {nullptr, u"{AppData}\\DawnNotes", u"C:\\", root + u"C:\\DawnNotes。"},
      {nullptr, u"E:\\Apps\\晨光 笔记", u"x", not_full + u"D:\\晨光 笔记。"},
      {u"Dawn|Notes", u"D:\\Games\\Mine", u"C:\\", root + u"C:\\Mine。"},  // a resource unfit
      {nullptr, u"{AppData}", u"Kesta", not_full + u"D:\\Roaming。"},  // the folder as expanded
      {nullptr, u"D:\\NUL", u"C:\\", root + u"C:\\Kesta。"},
      {nullptr, u"D:\\Kesta", u"C:\\", root + u"C:\\Kesta。"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(tvtest::utf8(c.typed) + " with " + tvtest::utf8(c.app));
    tv::posix::clear_own_resources();
    if (c.folder_name != nullptr) {
      std::string bytes;
      for (const char16_t* u = c.folder_name; *u != 0; ++u) bytes += {char(*u & 0xFF), char(*u >> 8)};
      tv::posix::set_own_resource(tv::OwnResource::kFolderName, tvtest::Bytes(bytes.begin(), bytes.end()));
    }
    messages_.clear();
    embed_script(tvtest::make_script(1, {{u"{App}", c.app}}, {{u"{App}\\t.exe", "x"}}, u""));
    ASSERT_EQ(tv::load_package(), 1);
    EXPECT_EQ(tv::run_install_sequence(c.typed), InstallOutcome::kFolderRefused);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, u"“" + std::u16string(c.typed) + u"”" + c.text) << tvtest::utf8(messages_[0].text.c_str());
  }
  tv::posix::clear_own_resources();
}

// The shell's own folders are what the platform names: a folder the shell gives for
// none is fine, one it does give is refused, with every folder that holds it.
TEST_F(FolderCheckTest, TheShellsOwnFoldersComeFromThePlatform) {
  tv::posix::set_own_folders({u"D:\\Mine\\Stuff"});
  load();
  EXPECT_EQ(tv::run_install_sequence(u"C:\\Users\\Tester\\Documents"), InstallOutcome::kInstalled);
  load();
  EXPECT_EQ(tv::run_install_sequence(u"D:\\Mine"), InstallOutcome::kFolderRefused);
  EXPECT_EQ(tv::run_install_sequence(u"D:\\mine\\stuff"), InstallOutcome::kFolderRefused);
  EXPECT_EQ(tv::run_install_sequence(u"D:\\Mine\\Stuff\\Kesta"), InstallOutcome::kInstalled);
  EXPECT_EQ(messages_.size(), 2u);
}

// The files' total against the space free at the deepest part of the folder that
// exists: short, the box names both in MB and the drive; No goes back to the
// dialog with nothing moved or written, Yes installs as before. Enough space, or a
// volume that cannot be asked, asks nothing.
TEST_F(FolderCheckTest, RoomOnTheDrive) {
  const uint64_t kMiB = 1 << 20;
  struct Case {
    size_t bytes;
    int64_t free;       // -1: the volume cannot be asked
    int answer;         // 0: no box
    std::u16string text;
  } cases[] = {
      {3 * kMiB / 2, int64_t(kMiB), tv::kIdNo,
       u"安装需要 1.5 MB 磁盘空间，D: 上只有 1.0 MB 可用。是否仍要安装？"},
      {3 * kMiB / 2, int64_t(kMiB), tv::kIdYes, u""},
      {kMiB + 1, int64_t(kMiB), tv::kIdNo,
       u"安装需要 1.1 MB 磁盘空间，D: 上只有 1.0 MB 可用。是否仍要安装？"},
      {kMiB, int64_t(kMiB - 1), tv::kIdNo,
       u"安装需要 1.0 MB 磁盘空间，D: 上只有 0.9 MB 可用。是否仍要安装？"},
      {100, 0, tv::kIdNo, u"安装需要 0.1 MB 磁盘空间，D: 上只有 0.0 MB 可用。是否仍要安装？"},
      {kMiB, int64_t(kMiB), 0, u""},
      {kMiB, -1, 0, u""},
  };
  int serial = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.bytes) + " in " + std::to_string(c.free));
    const std::u16string folder =
        u"D:\\Kesta\\sub\\new" + tv::utf8_to_u16(std::to_string(++serial)) + u"\\deeper";
    messages_.clear();
    answers_ = {c.answer};
    tv::posix::set_free_space(u'D', c.free);
    load(c.bytes);
    make_host_dir(u"D:\\Kesta");
    make_host_dir(u"D:\\Kesta\\sub");
    auto before = disk();
    InstallOutcome outcome = tv::run_install_sequence(folder.c_str());
    EXPECT_EQ(tvtest::utf8(tv::posix::free_space_asked().c_str()), "D:\\Kesta\\sub\\");
    ASSERT_EQ(messages_.size(), c.answer != 0 ? 1u : 0u);
    if (c.answer != 0) {
      EXPECT_EQ(messages_[0].caption, u"磁盘空间不足");
      EXPECT_EQ(messages_[0].type, 0x134u);  // Yes/No, a warning, No the default
      if (!c.text.empty()) {
        EXPECT_EQ(messages_[0].text, c.text);
      }
    }
    if (c.answer == tv::kIdNo) {
      EXPECT_EQ(outcome, InstallOutcome::kSpaceDeclined);
      EXPECT_EQ(disk(), before);
      EXPECT_EQ(app(), "D:\\Kesta");
    } else {
      EXPECT_EQ(outcome, InstallOutcome::kInstalled);
      EXPECT_EQ(read_host_file(folder + u"\\bin\\t.exe").size(), c.bytes);
    }
  }
  // Nothing below the drive exists: the root is asked.
  tv::posix::set_free_space(u'D', 0);
  answers_ = {tv::kIdNo};
  load();
  EXPECT_EQ(tv::run_install_sequence(u"D:\\Fresh\\Kesta"), InstallOutcome::kSpaceDeclined);
  EXPECT_EQ(tvtest::utf8(tv::posix::free_space_asked().c_str()), "D:\\");
  // A share's volume is not asked: the network is not probed before the install.
  tv::posix::clear_faults();
  load();
  EXPECT_EQ(tv::run_install_sequence(u"\\\\server\\share\\app"), InstallOutcome::kInstalled);
  EXPECT_EQ(tv::posix::free_space_asked(), u"");
}

}  // namespace
