// The right to write the chosen folder, asked by the install button before anything
// is moved: the box's text for each reason, and the probe over the stand-in.
#include <filesystem>

#include "base/file_error.h"
#include "base/text16.h"
#include "install/install.h"
#include "install/unwritable_box.h"
#include "install/write_probe.h"
#include "platform/standin/standin.h"
#include "support/test_support.h"
#include "variables/table.h"

namespace {

using tv::FileError;
using tv::InstallOutcome;

std::u16string text_of(const char16_t* typed, FileError why, const char16_t* example) {
  char16_t out[tv::kUnwritableTextUnits];
  tv::unwritable_text(out, typed, why, example);
  return out;
}

TEST(UnwritableBox, EachReasonItsText) {
  struct Case {
    FileError why;
    const char16_t* example;
    std::u16string text;
  } cases[] = {
      {FileError::kDenied, u"D:\\DawnNotes",
       u"无法写入 C:\\Program Files\\DawnNotes：没有写入权限。\n请选择其他文件夹，例如 "
       u"D:\\DawnNotes，或以管理员身份运行安装程序。"},
      {FileError::kDenied, u"",
       u"无法写入 C:\\Program Files\\DawnNotes：没有写入权限。\n请选择其他文件夹，"
       u"或以管理员身份运行安装程序。"},
      {FileError::kReadOnly, u"E:\\DawnNotes",
       u"无法写入 C:\\Program Files\\DawnNotes：磁盘是只读的。\n请选择其他文件夹，例如 "
       u"E:\\DawnNotes。"},
      {FileError::kReadOnly, u"",
       u"无法写入 C:\\Program Files\\DawnNotes：磁盘是只读的。\n请选择其他文件夹。"},
      {FileError::kNotReady, u"C:\\DawnNotes",
       u"无法写入 C:\\Program Files\\DawnNotes：磁盘没有准备好。\n请插入磁盘，或选择其他文件夹，"
       u"例如 C:\\DawnNotes。"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(text_of(u"C:\\Program Files\\DawnNotes", c.why, c.example), c.text);
}

// The longest folder and example fit whole.
TEST(UnwritableBox, TheLongestFoldersFit) {
  std::u16string typed = u"D:\\" + std::u16string(256, u'x');
  std::u16string example = u"E:\\" + std::u16string(255, u'y');
  std::u16string text = text_of(typed.c_str(), FileError::kNotReady, example.c_str());
  EXPECT_NE(text.find(typed + u"：磁盘没有准备好。"), std::u16string::npos);
  EXPECT_NE(text.find(example + u"。"), std::u16string::npos);
}

class FolderWriteTest : public tvtest::InstallerTest {
 protected:
  void load() {
    embed_script(tvtest::make_script(1, {{u"{App}", u"D:\\Kesta"}}, {{u"{App}\\t.exe", "x"}}, u""));
    ASSERT_EQ(tv::load_package(), 1);
  }
  size_t entries() const {
    size_t n = 0;
    for (auto it = std::filesystem::recursive_directory_iterator(root_);
         it != std::filesystem::recursive_directory_iterator(); ++it)
      ++n;
    return n;
  }
};

// Windows says no where the folder would be made, or where the old version would be
// renamed: the box (a warning, OK) with the folder as typed, why, and the product's
// folder on another drive that can be written; nothing moved, the dialog stays.
// Other errors, and a lock, are met later where they were before.
TEST_F(FolderWriteTest, RefusedWhereWindowsSaysNo) {
  struct Case {
    std::u16string refused;  // the folder Windows refuses to write
    uint32_t error;
    std::u16string typed;
    bool old_version;  // D:\Kesta exists with a file
    std::u16string text;  // "": not refused here (installed, or met later)
    bool read_only_volume = false;  // D: refused as read-only as well
  } cases[] = {
      {u"D:\\Kesta", 5, u"D:\\Kesta\\new", true,
       u"无法写入 D:\\Kesta\\new：没有写入权限。\n请选择其他文件夹，例如 C:\\Kesta，"
       u"或以管理员身份运行安装程序。"},
      {u"D:\\Locked", 19, u"D:\\Locked\\a\\b", false,
       u"无法写入 D:\\Locked\\a\\b：磁盘是只读的。\n请选择其他文件夹，例如 C:\\Kesta。"},
      // The old version may be written inside but not renamed beside itself.
      {u"D:\\", 19, u"D:\\Kesta", true,
       u"无法写入 D:\\Kesta：磁盘是只读的。\n请选择其他文件夹，例如 C:\\Kesta。"},
      {u"D:\\", 21, u"d:\\Fresh\\", false,
       u"无法写入 d:\\Fresh\\：磁盘没有准备好。\n请插入磁盘，或选择其他文件夹，例如 C:\\Kesta。"},
      {u"D:\\", 65, u"D:\\Fresh", false,
       u"无法写入 D:\\Fresh：没有写入权限。\n请选择其他文件夹，例如 C:\\Kesta，"
       u"或以管理员身份运行安装程序。"},
      // The example is on the first other drive that can be written.
      {u"C:\\", 5, u"C:\\Apps\\Kesta", false,
       u"无法写入 C:\\Apps\\Kesta：没有写入权限。\n请选择其他文件夹，例如 D:\\Kesta，"
       u"或以管理员身份运行安装程序。"},
      // The nearest refusal is the one Windows gives.
      {u"D:\\Kesta", 5, u"D:\\Kesta\\new", true,
       u"无法写入 D:\\Kesta\\new：没有写入权限。\n请选择其他文件夹，例如 C:\\Kesta，"
       u"或以管理员身份运行安装程序。", true},
      {u"D:\\Other", 5, u"D:\\Kesta", true, u""},
      {u"D:\\Kesta", 32, u"D:\\Kesta\\new", false, u""},
      {u"D:\\Kesta", 112, u"D:\\Kesta\\new", false, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(tvtest::utf8(c.typed.c_str()));
    std::filesystem::remove_all(root_ + "/D");
    std::filesystem::create_directories(root_ + "/D/Locked");
    tv::posix::clear_faults();
    messages_.clear();
    load();
    if (c.old_version) make_host_dir(u"D:\\Kesta");
    if (c.old_version) write_host_file(u"D:\\Kesta\\old.txt", "old");
    if (c.read_only_volume) tv::posix::refuse_writes_under(u"D:\\", 19);
    tv::posix::refuse_writes_under(c.refused, c.error);
    size_t before = entries();
    InstallOutcome outcome = tv::run_install_sequence(c.typed.c_str());
    if (c.text.empty()) {
      EXPECT_NE(outcome, InstallOutcome::kFolderRefused);
      for (const tvtest::Message& m : messages_) EXPECT_NE(m.caption, u"安装目录无效");
      continue;
    }
    EXPECT_EQ(outcome, InstallOutcome::kFolderRefused);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].caption, u"安装目录无效");
    EXPECT_EQ(messages_[0].type, 0x30u);
    EXPECT_EQ(messages_[0].text, c.text);
    EXPECT_EQ(entries(), before);  // no probe left behind, nothing moved
    if (c.old_version) {
      EXPECT_EQ(read_host_file(u"D:\\Kesta\\old.txt"), "old");
    }
    EXPECT_EQ(tvtest::utf8(*tv::find_variable(u"{App}")), "D:\\Kesta");
  }
}

// The probe leaves nothing, and takes the next name when one is taken.
TEST_F(FolderWriteTest, TheProbeLeavesNothing) {
  make_host_dir(u"D:\\Work");
  for (int taken = 0; taken <= 8; ++taken) {
    SCOPED_TRACE(taken);
    if (taken > 0) make_host_dir(u"D:\\Work\\tv-probe-" + tv::utf8_to_u16(std::to_string(taken)));
    size_t before = entries();
    EXPECT_EQ(tv::probe_writable(u"D:\\Work\\"), 0u);
    EXPECT_EQ(entries(), before);
  }
  tv::posix::refuse_writes_under(u"D:\\Work", 19);
  EXPECT_EQ(tv::probe_writable(u"D:\\Work\\"), 19u);
}

}  // namespace
