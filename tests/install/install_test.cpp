// Loading the package and the install sequence over a real temporary folder.
#include <filesystem>
#include <fstream>

#include "actions/path_rules.h"
#include "install/install.h"
#include "package/script.h"
#include "platform/platform.h"
#include "platform/standin/standin.h"
#include "base/text16.h"
#include "support/test_support.h"
#include "variables/table.h"

namespace {

using tv::InstallOutcome;
using tvtest::FileEntry;

const std::u16string kOld = u"_\u65E7\u7248\u672C";  // _旧版本
const std::u16string kHeldText =
    u"\u91CD\u547D\u540D\u65E7\u7248\u672C\u5931\u8D25\uFF01"  // 重命名旧版本失败！
    u"\u8BF7\u5148\u5173\u95EDTalvenor\u3002";                 // 请先关闭Talvenor。
const std::u16string kDesktopLink = u"C:\\Users\\Tester\\Desktop\\Talvenor.lnk";

std::string app_value() {
  const char16_t* const* v = tv::find_variable(u"{App}");
  return v && *v ? tvtest::utf8(*v) : "<none>";
}

class InstallTest : public tvtest::InstallerTest {
 protected:
  // The usual package: variables that follow {App}, two files and a shortcut.
  void load(const std::vector<FileEntry>& files = {{u"{Bin}\\talvenor.exe", "exe"},
                                                   {u"{App}\\readme.txt", "hi"}},
            const std::u16string& shortcuts = u"icon\n{Exe}\n--home \"{App}\"\n{Desktop}\\Talvenor") {
    embed_script(tvtest::make_script(
        1, {{u"{App}", u"D:\\Kesta"}, {u"{Bin}", u"{App}\\bin"}, {u"{Exe}", u"{Bin}\\talvenor.exe"}},
        files, shortcuts));
    ASSERT_EQ(tv::load_package(), 1);
  }
};

TEST_F(InstallTest, LoadingStopsAtTheFailingStep) {
  EXPECT_EQ(tv::load_package(), 0);  // no package carried
  tv::ScriptWriter short_section;      // the variables section ends early
  for (int32_t v : {1, 1}) short_section.put_int(v);
  short_section.put_string(u"{App}");
  for (const auto& script : {tvtest::make_script(2, {}, {}, u""), short_section.bytes()}) {
    embed_script(script);
    EXPECT_EQ(tv::load_package(), 0);
  }
  ASSERT_EQ(messages_.size(), 3u);
  EXPECT_EQ(messages_[0].text, u"安装文件已损坏!");
  EXPECT_EQ(messages_[1].text, u"安装程序版本好错误!");
  EXPECT_EQ(messages_[2].text, u"安装文件已损坏!");

  messages_.clear();
  std::vector<uint8_t> script = tvtest::make_script(1, {{u"{App}", u"D:\\Kesta"}}, {}, u"");
  embed_script(script);
  EXPECT_EQ(tv::load_package(), 1);
  EXPECT_EQ(tv::saved_cursor().pos, tv::script_start() + 4);
  EXPECT_EQ(tv::script_cursor().pos, tv::script_start() + script.size() - 6);  // files count
  EXPECT_EQ(app_value(), "D:\\Kesta");
  EXPECT_TRUE(messages_.empty());
}

TEST_F(InstallTest, InstallsIntoTheChosenDirectory) {
  load();
  EXPECT_EQ(tv::run_install_sequence(u"D:\\Chosen\\Dir\\\\"), InstallOutcome::kInstalled);
  EXPECT_EQ(app_value(), "D:\\Chosen\\Dir");
  EXPECT_EQ(read_host_file(u"D:\\Chosen\\Dir\\bin\\talvenor.exe"), "exe");
  EXPECT_EQ(read_host_file(u"D:\\Chosen\\Dir\\readme.txt"), "hi");
  EXPECT_EQ(read_host_file(kDesktopLink),
            "target=D:\\Chosen\\Dir\\bin\\talvenor.exe\nargs=--home \"D:\\Chosen\\Dir\"\nshow=1\n");
  EXPECT_FALSE(host_exists(u"D:\\Kesta"));
  EXPECT_EQ(tv::script_cursor().pos, tv::script_start() + tv::script_length());
  EXPECT_TRUE(messages_.empty());
}

TEST_F(InstallTest, EditTextIsTrimmedOrDefaulted) {
  struct Case {
    const char16_t* edit;
    std::string dir;
  } cases[] = {{u"", "D:\\Kesta"},
               {u"\\\\\\", "D:\\Kesta"},
               {nullptr, "D:\\Kesta"},
               {u"C:\\Apps\\", "C:\\Apps"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dir);
    load({{u"{App}\\" + tv::utf8_to_u16(c.dir.substr(3)) + u".txt", "x"}}, u"");
    EXPECT_EQ(tv::run_install_sequence(c.edit), InstallOutcome::kInstalled);
    EXPECT_EQ(app_value(), c.dir);
    EXPECT_TRUE(host_exists(tv::utf8_to_u16(c.dir)));
  }
}

TEST_F(InstallTest, StripTrailingBackslashes) {
  struct Case {
    std::u16string in, out;
  } cases[] = {{u"D:\\Foo\\\\", u"D:\\Foo"}, {u"C:\\", u"C:"},    {u"\\\\\\", u""},
               {u"D:\\a b\\ ", u"D:\\a b\\ "}, {u"D:\\x", u"D:\\x"}, {u"", u""}};
  for (const Case& c : cases) {
    std::u16string text = c.in;
    tv::strip_trailing_backslashes(&text[0]);
    EXPECT_EQ(std::u16string(text.c_str()), c.out) << tvtest::utf8(c.in.c_str());
  }
}

TEST_F(InstallTest, OldVersionMovesToTheFirstFreeNumber) {
  make_host_dir(u"D:\\Kesta" + kOld + u"1");
  make_host_dir(u"D:\\Kesta");
  write_host_file(u"D:\\Kesta\\old.txt", "old");
  load();
  EXPECT_EQ(tv::run_install_sequence(u""), InstallOutcome::kInstalled);
  EXPECT_TRUE(host_exists(u"D:\\Kesta" + kOld + u"2\\old.txt"));
  EXPECT_FALSE(host_exists(u"D:\\Kesta" + kOld + u"1\\old.txt"));
  EXPECT_FALSE(host_exists(u"D:\\Kesta" + kOld + u"3"));
  EXPECT_FALSE(host_exists(u"D:\\Kesta\\old.txt"));
  EXPECT_EQ(read_host_file(u"D:\\Kesta\\bin\\talvenor.exe"), "exe");
}

TEST_F(InstallTest, HeldOldVersionStopsBeforeAnythingIsWritten) {
  make_host_dir(u"D:\\Kesta");
  tv::posix::hold_path(u"D:\\Kesta", true);
  load();
  const uint8_t* files_at = tv::script_cursor().pos;
  EXPECT_EQ(tv::run_install_sequence(u"D:\\Kesta"), InstallOutcome::kOldVersionHeld);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text, kHeldText);
  EXPECT_EQ(messages_[0].caption, u"\u65E0\u6CD5\u5B89\u88C5");  // 无法安装
  EXPECT_EQ(messages_[0].type, 0x10u);
  EXPECT_FALSE(host_exists(u"D:\\Kesta" + kOld + u"1"));
  EXPECT_FALSE(host_exists(u"D:\\Kesta\\bin"));
  EXPECT_EQ(tv::script_cursor().pos, files_at);

  // Released, the same dialog tries again from the first number.
  tv::posix::hold_path(u"D:\\Kesta", false);
  EXPECT_EQ(tv::run_install_sequence(u"D:\\Kesta"), InstallOutcome::kInstalled);
  EXPECT_TRUE(host_exists(u"D:\\Kesta" + kOld + u"1"));
  EXPECT_EQ(read_host_file(u"D:\\Kesta\\bin\\talvenor.exe"), "exe");
  EXPECT_EQ(messages_.size(), 1u);
}

// A lock on the old version is waited out for about a second from the first attempt
// (an attempt every 50 ms of the stand-in's clock); held longer, the old-version box.
TEST_F(InstallTest, ABriefLockOnTheOldVersionIsWaitedOut) {
  struct Case {
    int attempts;  // the attempts the lock outlasts
    bool box;
    int pauses;
  } cases[] = {{1, false, 1}, {12, false, 12}, {20, false, 20}, {100000, true, 20}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.attempts);
    tv::posix::clear_faults();
    messages_.clear();
    std::filesystem::remove_all(host(u"D:\\Kesta"));
    make_host_dir(u"D:\\Kesta");
    write_host_file(u"D:\\Kesta\\old.txt", "old");
    tv::posix::hold_path_for(u"D:\\Kesta", c.attempts);
    load();
    EXPECT_EQ(tv::run_install_sequence(u"D:\\Kesta"),
              c.box ? InstallOutcome::kOldVersionHeld : InstallOutcome::kInstalled);
    EXPECT_EQ(messages_.size(), c.box ? 1u : 0u);
    EXPECT_EQ(tv::posix::pauses_made(), c.pauses);
    EXPECT_TRUE(host_exists(u"D:\\Kesta" + (c.box ? u"" : kOld + u"1") + u"\\old.txt"));
    std::filesystem::remove_all(host(u"D:\\Kesta" + kOld + u"1"));
  }
}

TEST_F(InstallTest, OldVersionNamesPast259UnitsAreNotTried) {
  // 254 units leave room for "_旧版本1" (259); 255 units leave none for any number.
  std::u16string base = u"D:\\" + std::u16string(120, u'a') + u"\\";
  std::u16string fits = base + std::u16string(254 - base.size(), u'b');
  std::u16string full = base + std::u16string(255 - base.size(), u'c');
  make_host_dir(base);
  make_host_dir(fits);
  make_host_dir(full);
  load({}, u"");
  EXPECT_EQ(tv::run_install_sequence(full.c_str()), InstallOutcome::kOldVersionHeld);
  EXPECT_EQ(app_value(), "D:\\Kesta");  // unchanged
  EXPECT_EQ(tv::run_install_sequence((fits + u"\\").c_str()), InstallOutcome::kInstalled);
  EXPECT_TRUE(host_exists(fits + kOld + u"1"));
  // An edit text longer than a path is refused as too long, never cut to one:
  // "D:\Data", 300 backslashes and a name would be cut to D:\Data and move it aside.
  std::u16string longer = base + std::u16string(259 - base.size(), u'd');
  std::u16string backslashes = u"D:\\Data" + std::u16string(300, u'\\') + u"Kesta";
  make_host_dir(u"D:\\Data");
  for (const std::u16string& text : {longer, longer + u"eee", backslashes}) {
    SCOPED_TRACE(tvtest::utf8(text.c_str()));
    bool fits = text.size() <= 259;
    messages_.clear();
    load({}, u"");
    EXPECT_EQ(tv::run_install_sequence(text.c_str()),
              fits ? InstallOutcome::kInstalled : InstallOutcome::kFolderTooLong);
    ASSERT_EQ(messages_.size(), fits ? 0u : 1u);
    if (fits) continue;
    EXPECT_EQ(messages_[0].caption, u"安装目录太长");
    EXPECT_EQ(app_value(), "D:\\Kesta");
    EXPECT_TRUE(host_exists(u"D:\\Data"));
    EXPECT_FALSE(host_exists(u"D:\\Data" + kOld + u"1"));
  }
}

TEST_F(InstallTest, ProgressIsFullOnlyOnceTheShortcutsAreDone) {
  // Each report notes whether the shortcut existed by then.
  struct Seen {
    std::string link;
    std::vector<std::pair<unsigned, bool>> reports;
  } seen = {host(kDesktopLink), {}};
  tv::ProgressSink sink = {[](void* context, unsigned position) {
                             Seen* s = static_cast<Seen*>(context);
                             s->reports.push_back({position, std::ifstream(s->link).good()});
                           },
                           &seen};
  make_host_dir(u"D:\\Kesta");
  tv::posix::hold_path(u"D:\\Kesta", true);
  load();
  EXPECT_EQ(tv::run_install_sequence(u"", &sink), InstallOutcome::kOldVersionHeld);
  EXPECT_TRUE(seen.reports.empty());  // nothing was written: the bar stays hidden

  tv::posix::hold_path(u"D:\\Kesta", false);
  EXPECT_EQ(tv::run_install_sequence(u"", &sink), InstallOutcome::kInstalled);
  ASSERT_GE(seen.reports.size(), 3u);
  EXPECT_EQ(seen.reports.back(), std::make_pair(tv::kProgressFull, true));
  for (size_t i = 0; i + 1 < seen.reports.size(); ++i) {
    EXPECT_LT(seen.reports[i].first, tv::kProgressFull);
    EXPECT_FALSE(seen.reports[i].second);
  }
}

TEST_F(InstallTest, FailuresCancelTheInstall) {
  // A path that expands for no folder is found before anything is written.
  load({{u"D:\\Out\\first.txt", "1"}, {u"{Missing}\\x", "x"}});
  EXPECT_EQ(tv::run_install_sequence(u"D:\\T1"), InstallOutcome::kFailed);
  EXPECT_FALSE(host_exists(u"D:\\Out"));
  EXPECT_FALSE(host_exists(kDesktopLink));

  tv::posix::hold_path(u"D:\\T2\\held.txt", true);
  load({{u"{App}\\held.txt", "h"}});
  EXPECT_EQ(tv::run_install_sequence(u"D:\\T2"), InstallOutcome::kFailed);  // Cancel
  EXPECT_FALSE(host_exists(kDesktopLink));

  tv::ScriptWriter w;
  w.put_int(1);
  w.put_int(0);
  w.put_int(0);
  w.put_bytes("i", 1);  // the shortcuts string ends early
  embed_script(w.bytes());
  ASSERT_EQ(tv::load_package(), 1);
  EXPECT_EQ(tv::run_install_sequence(u"D:\\T3"), InstallOutcome::kFailed);
  EXPECT_FALSE(host_exists(u"D:\\T3"));  // found before the directory is made
}

}  // namespace
