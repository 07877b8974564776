// One folder by any name: the own-folder check compares the names Windows itself uses
// (links followed, the system's rule for either case), and counts the 64-bit program
// files the environment names.
#include <filesystem>

#include "base/path_limit.h"
#include "install/existing_part.h"
#include "install/install.h"
#include "platform/platform.h"
#include "platform/standin/standin.h"
#include "support/test_support.h"

namespace {

using tv::InstallOutcome;

class FolderIdentityTest : public tvtest::InstallerTest {
 protected:
  void SetUp() override {
    InstallerTest::SetUp();
    for (const char16_t* own : {u"C:\\Users\\Tester\\Documents", u"C:\\Program Files",
                                u"C:\\Program Files (x86)", u"C:\\Users\\Łukasz"})
      std::filesystem::create_directories(std::filesystem::u8path(host(own)));
  }
  void load() {
    embed_script(tvtest::make_script(1, {{u"{App}", u"D:\\Kesta"}}, {{u"{App}\\t.exe", "x"}}, u""));
    ASSERT_EQ(tv::load_package(), 1);
  }
  // A link at windows_path to the folder target (a junction's stand-in); false where
  // the host makes none (the Windows build of the tests under Wine).
  bool link(const std::u16string& windows_path, const std::u16string& target) {
    std::error_code error;
    std::filesystem::create_directory_symlink(std::filesystem::u8path(host(target)),
                                              std::filesystem::u8path(host(windows_path)), error);
    return !error;
  }
};

// Each typed folder is an own folder by another name, or holds one; nothing is moved.
// The neighbours install.
TEST_F(FolderIdentityTest, AnOwnFolderByAnyNameIsRefused) {
  tv::posix::set_own_folders({u"C:\\Users\\Tester\\Documents", u"C:\\Users\\Łukasz",
                              u"C:\\Program Files (x86)"});
  make_host_dir(u"D:\\Links");
  make_host_dir(u"D:\\Elsewhere");
  bool links = link(u"D:\\Links\\Docs", u"C:\\Users\\Tester\\Documents") &&
               link(u"D:\\Links\\Users", u"C:\\Users") &&
               link(u"D:\\Links\\Kesta", u"D:\\Elsewhere");
  struct Case {
    std::u16string typed;
    bool refused;
  } cases[] = {
      {u"D:\\Links\\Docs", true},
      {u"D:\\Links\\Users\\Tester\\Documents", true},
      {u"D:\\Links\\Users", true},          // holds the profile's folders
      {u"C:\\Users\\łukasz", true},         // the system's rule, past Latin-1
      {u"C:\\USERS\\ŁUKASZ", true},
      {u"C:\\Program Files", true},         // ProgramW6432
      {u"C:\\program files\\common files", true},  // CommonProgramW6432
      {u"D:\\Links\\Docs\\Kesta", false},
      {u"D:\\Links\\Users\\Tester\\Documents\\Kesta", false},
      {u"D:\\Links\\Kesta", false},
      {u"C:\\Users\\łukasz2", false},
      {u"C:\\Program Files\\Kesta", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(tvtest::utf8(c.typed.c_str()));
    if (!links && c.typed.rfind(u"D:\\Links", 0) == 0) continue;
    messages_.clear();
    load();
    InstallOutcome outcome = tv::run_install_sequence(c.typed.c_str());
    EXPECT_EQ(outcome, c.refused ? InstallOutcome::kFolderRefused : InstallOutcome::kInstalled);
    if (c.refused) {
      ASSERT_EQ(messages_.size(), 1u);
      EXPECT_EQ(messages_[0].text.rfind(u"“" + c.typed + u"”是系统或您自己的文件夹", 0), 0u)
          << tvtest::utf8(messages_[0].text.c_str());
    }
  }
  EXPECT_TRUE(host_exists(u"C:\\Users\\Tester\\Documents"));
  EXPECT_FALSE(host_exists(u"C:\\Users\\Tester\\Documents_旧版本1"));
}

// The 64-bit program files are refused because the environment names them, not
// because the stand-in's list does: unset, the folder is an ordinary one.
TEST_F(FolderIdentityTest, The64BitProgramFilesComeFromTheEnvironment) {
  struct Case {
    std::u16string program, common;
    std::u16string typed;
    bool refused;
  } cases[] = {
      {u"C:\\Program Files", u"C:\\Program Files\\Common Files", u"C:\\Program Files", true},
      {u"", u"C:\\Program Files\\Common Files", u"C:\\Program Files", true},  // holds Common Files
      {u"", u"", u"C:\\Program Files", false},
      {u"D:\\Apps64", u"", u"D:\\Apps64", true},
      {u"D:\\Apps64", u"", u"C:\\Program Files", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(tvtest::utf8(c.typed.c_str()) + " with " + tvtest::utf8(c.program.c_str()));
    tv::posix::set_environment(u"ProgramW6432", c.program);
    tv::posix::set_environment(u"CommonProgramW6432", c.common);
    load();
    EXPECT_EQ(tv::run_install_sequence(c.typed.c_str()),
              c.refused ? InstallOutcome::kFolderRefused : InstallOutcome::kInstalled);
    std::filesystem::remove_all(host(c.typed + u"\\t.exe"));
  }
}

// The folder with its deepest existing part as Windows names it, the rest as typed.
TEST_F(FolderIdentityTest, ResolvedFolders) {
  make_host_dir(u"D:\\Real");
  if (!link(u"D:\\Alias", u"D:\\Real")) GTEST_SKIP() << "the host makes no links";
  struct Case {
    std::u16string folder, resolved;
  } cases[] = {
      {u"D:\\Alias", u"D:\\Real"},
      {u"D:\\Alias\\new\\deeper", u"D:\\Real\\new\\deeper"},
      {u"D:\\Real\\x", u"D:\\Real\\x"},
      {u"D:\\none", u"D:\\none"},
      {u"Q:\\none", u"Q:\\none"},  // no such drive: as typed
      {u"\\\\server\\share\\x", u"\\\\server\\share\\x"},
  };
  for (const Case& c : cases) {
    char16_t out[tv::kMaxPath];
    tv::resolve_folder(c.folder.c_str(), out);
    EXPECT_EQ(std::u16string(out), c.resolved) << tvtest::utf8(c.folder.c_str());
  }
}

}  // namespace
