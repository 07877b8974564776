// try's pieces that need no Wine: where a Windows path of the prefix lies on the host,
// and the check of an installation against its package (each kind of difference
// found, nothing found where there is none).
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>

#include "common/errors.h"
#include "assemble/build.h"
#include "pack_test_support.h"
#include "package/writer.h"
#include "try/try_internal.h"

namespace {

using namespace packtest;

TEST(TryPaths, WindowsPathsMapOntoThePrefixDrives) {
  TempDir dir;
  fs::path prefix = dir / "prefix";
  fs::path drive_d = dir / "elsewhere";
  fs::create_directories(prefix / "drive_c" / "users" / "Me" / "Desktop");
  fs::create_directories(prefix / "dosdevices");
  fs::create_directories(drive_d / "Kesta");
  fs::create_directories(prefix / "drive_c" / "Ärger" / "ΣΟΦΙΑ");
  fs::create_directory_symlink("../drive_c", prefix / "dosdevices" / "c:");
  fs::create_directory_symlink(drive_d, prefix / "dosdevices" / "d:");
  // Links to the host: a drive, and a folder in a drive (as an installer can make them).
  fs::create_directory_symlink("/", prefix / "dosdevices" / "e:");
  fs::create_directory_symlink("/etc", drive_d / "Kesta" / "out");
  fs::create_symlink("/etc/passwd", drive_d / "Kesta" / "passwd");
  fs::path c = fs::canonical(prefix / "drive_c"), d = fs::canonical(drive_d);
  const struct {
    std::u16string windows;
    fs::path host;  // empty: on no drive of the prefix
  } cases[] = {
      {u"C:\\users\\me\\DESKTOP\\塔文诺.lnk", c / "users" / "Me" / "Desktop" / "塔文诺.lnk"},
      {u"c:/Users/Me", c / "users" / "Me"},
      {u"D:\\kesta\\new\\a.txt", d / "Kesta" / "new" / "a.txt"},
      {u"D:\\Kesta\\\\.\\b.txt", d / "Kesta" / "b.txt"},
      {u"D:\\", d},
      {u"D:\\..\\..\\etc\\passwd", d / "etc" / "passwd"},
      {u"D:\\Kesta\\..\\..\\x", d / "x"},
      {u"C:\\ärger\\σοφια\\x", c / "Ärger" / "ΣΟΦΙΑ" / "x"},
      {u"E:\\x", {}},
      {u"E:\\etc\\passwd", {}},
      {u"D:\\Kesta\\out\\passwd", {}},
      {u"D:\\kesta\\OUT", {}},
      {u"D:\\Kesta\\passwd", {}},
      {u"D:\\Kesta\\out\\..\\a.txt", d / "Kesta" / "a.txt"},
      {u"Z:\\etc\\passwd", {}},
      {u"\\\\server\\share\\x", {}},
      {u"\\x", {}},
      {u"C:relative", {}},
      {u"1:\\x", {}},
      {u"", {}},
  };
  for (const auto& t : cases) {
    EXPECT_EQ(tvpack::map_windows_path(prefix, t.windows), t.host) << tvpack::quote(t.windows);
  }
}

// A run's copy of the clean prefix shares Windows' own (read-only) files with it; a
// run that changes one of them in place is told from one that replaces or leaves it.
TEST(TryPrefix, ARunThatChangesASharedFileIsFound) {
  const struct {
    const char* what;
    std::function<void(const fs::path& copy)> run;
    bool changed;
  } cases[] = {
      {"left alone", [](const fs::path&) {}, false},
      {"made writable", [](const fs::path& c) { fs::permissions(c / "sys/a.dll", fs::perms::owner_write,
                                                                 fs::perm_options::add); }, true},
      {"overwritten in place with as many bytes, read-only again (as root Wine need not make it writable)",
       [](const fs::path& c) {
         fs::permissions(c / "sys/a.dll", fs::perms::owner_write, fs::perm_options::add);
         std::ofstream(c / "sys/a.dll", std::ios::in | std::ios::out | std::ios::binary) << "Z";
         fs::permissions(c / "sys/a.dll", fs::perms::owner_write, fs::perm_options::remove);
       }, true},
      {"replaced by a new file",
       [](const fs::path& c) { fs::remove(c / "sys/a.dll"), std::ofstream(c / "sys/a.dll") << "new"; }, false},
      {"its own copy written", [](const fs::path& c) { std::ofstream(c / "user.reg", std::ios::app) << "x"; }, false},
  };
  for (const auto& t : cases) {
    TempDir dir;
    fs::path clean = dir / "clean", copy = dir / "copy";
    dir.write("clean/sys/a.dll", "MZ");
    dir.write("clean/user.reg", "REG");
    fs::permissions(clean / "sys/a.dll", fs::perms::owner_read | fs::perms::group_read);
    fs::last_write_time(clean / "sys/a.dll", fs::last_write_time(clean / "sys/a.dll") - std::chrono::hours(1));
    fs::create_directory_symlink("/", clean / "z:");
    std::vector<tvpack::SharedFile> shared = tvpack::copy_prefix(clean, copy);
    ASSERT_EQ(shared.size(), 1u) << t.what;
    EXPECT_EQ(shared[0].path, clean / "sys/a.dll") << t.what;
    EXPECT_EQ(fs::read_symlink(copy / "z:"), "/") << t.what;
    t.run(copy);
    EXPECT_EQ(tvpack::changed_shared_file(shared), t.changed ? clean / "sys/a.dll" : fs::path()) << t.what;
  }
}

TEST(TryReport, JsonStringsAreValidWhateverTheTextHolds) {
  const struct {
    std::string text, json;
  } cases[] = {
      {"D:\\Kesta \"x\"", "\"D:\\\\Kesta \\\"x\\\"\""},
      {"a\nb\x01\x1f\x7f", "\"a\\u000ab\\u0001\\u001f\x7f\""},
      {"塔文诺 \xF0\x9F\x98\x80", "\"塔文诺 \xF0\x9F\x98\x80\""},
      {"\xFF\xC3(", "\"\xEF\xBF\xBD\xEF\xBF\xBD(\""},             // bytes that are no UTF-8
      {"\xED\xA0\x80x", "\"\xEF\xBF\xBDx\""},                       // half of a pair, as CESU-8
      {"\xED\xA0\x80\xED\xB0\x80", "\"\xF0\x90\x80\x80\""},          // a whole pair, as CESU-8
      {"ab\xE5\xA1", "\"ab\xEF\xBF\xBD\""},                           // cut short
  };
  for (const auto& t : cases) EXPECT_EQ(tvpack::json_string(t.text), t.json) << tvpack::quote(t.text);
}

// A prefix with drives C: and D: where a package's installation is laid out by hand,
// and .lnk files whose target and arguments the fake shell reader gives.
struct Installed {
  Installed() {
    prefix_ = dir_ / "prefix";
    fs::create_directories(prefix_ / "drive_c" / "users" / "Me" / "Desktop");
    fs::create_directories(prefix_ / "dosdevices");
    fs::create_directories(dir_ / "d");
    fs::create_directory_symlink("../drive_c", prefix_ / "dosdevices" / "c:");
    fs::create_directory_symlink(dir_ / "d", prefix_ / "dosdevices" / "d:");
    // {App}\SUB\b.txt comes later than {App}\sub\b.txt: the same file, written twice.
    tv::ScriptWriter w;
    w.put_int(1), w.put_int(1), w.put_string(u"{App}"), w.put_string(u"D:\\Kesta");
    const std::pair<std::u16string, std::string> files[] = {{u"{App}\\a.txt", "A"},
                                                            {u"{App}\\sub\\b.txt", "BB"},
                                                            {u"{App}\\SUB\\b.txt", "BBB"},
                                                            {u"{Desktop}\\note.txt", "N"}};
    w.put_int(4);
    for (const auto& f : files)
      w.put_string(f.first), w.put_int(int32_t(f.second.size())), w.put_bytes(f.second.data(), f.second.size());
    w.put_string(u"icon\n{App}\\a.txt\n-x {App}\n{Desktop}\\A\n");
    fs::path installer = dir_ / "setup.exe";
    tvpack::wrap_script(dir_.write("script.bin", w.bytes()), any_stub(dir_), 7, installer);
    bytes_ = read_bytes(installer);
    // As the installer leaves it.
    dir_.write("d/Kesta/a.txt", "A");
    dir_.write("d/Kesta/sub/b.txt", "BBB");
    dir_.write("prefix/drive_c/users/Me/Desktop/note.txt", "N");
    dir_.write("prefix/drive_c/users/Me/Desktop/A.lnk", "link");
    links_[u"C:\\users\\Me\\Desktop\\A.lnk"] = {"D:\\Kesta\\a.txt", "-x D:\\Kesta"};
  }
  tvpack::CheckResult check() const {
    auto read = [this](const std::u16string& link, std::string* target, std::string* args) -> std::string {
      auto it = links_.find(link);
      if (it == links_.end()) return "no such shortcut";
      *target = it->second.first, *args = it->second.second;
      return "";
    };
    std::map<int, std::u16string> folders = {{0, u"C:\\users\\Me\\Desktop"}};
    return tvpack::check_installation(bytes_, folders, "D:\\Kesta", prefix_, read);
  }
  TempDir dir_;
  fs::path prefix_;
  std::vector<uint8_t> bytes_;
  std::map<std::u16string, std::pair<std::string, std::string>> links_;
};

// The driver's fit lines: only fits=no is a cut text, read whole whatever it holds.
TEST(TryFit, EveryCutTextIsFoundWhole) {
  const std::vector<std::string> lines = {
      "fit id=1002 class=Static fits=yes needed=200x13 available=300x26 text=a",
      "fit id=1002 class=Static fits=no needed=420x39 available=300x26 text=装到 C:\\\\Users\\nx fits=yes text=b",
      "fit id=1004 class=Button fits=no needed=90x13 available=80x13 text=",
      "screen width=800",
      "fit id=1005 class=Button fits=yesno needed=1x1 available=1x1 text=c",
  };
  std::vector<tvpack::CutText> cut;
  tvpack::find_cut_texts(lines, "finish", &cut);
  ASSERT_EQ(cut.size(), 2u);
  EXPECT_EQ(cut[0].dialog + " " + std::to_string(cut[0].id) + " " + cut[0].needed + " " + cut[0].available,
            "finish 1002 420x39 300x26");
  EXPECT_EQ(cut[0].text, "装到 C:\\Users\nx fits=yes text=b");
  EXPECT_EQ(std::to_string(cut[1].id) + cut[1].text, "1004");
}

TEST(TryCheck, EveryDifferenceIsFoundAndNothingElse) {
  const struct {
    const char* what;
    std::function<void(Installed*)> change;
    std::vector<std::string> problems;
    size_t files_ok, shortcuts_ok;
  } cases[] = {
      {"as installed", [](Installed*) {}, {}, 3, 1},
      {"a changed byte", [](Installed* t) { t->dir_.write("d/Kesta/a.txt", "a"); },
       {"file D:\\Kesta\\a.txt differs from the package's bytes at byte 0"}, 2, 1},
      {"the earlier of two records", [](Installed* t) { t->dir_.write("d/Kesta/sub/b.txt", "BB"); },
       {"file D:\\Kesta\\SUB\\b.txt has 2 bytes, the package 3"}, 2, 1},
      {"a missing file", [](Installed* t) { fs::remove(t->prefix_ / "drive_c/users/Me/Desktop/note.txt"); },
       {"file C:\\users\\Me\\Desktop\\note.txt is missing"}, 2, 1},
      {"a folder where a file belongs", [](Installed* t) { fs::remove(t->dir_ / "d/Kesta/a.txt"),
                                                          fs::create_directory(t->dir_ / "d/Kesta/a.txt"); },
       {"file D:\\Kesta\\a.txt is missing"}, 2, 1},
      {"a file the package does not hold", [](Installed* t) { t->dir_.write("d/Kesta/sub/extra.dat", "x"); },
       {"file D:\\Kesta\\sub\\extra.dat is in the install folder, not in the package"}, 3, 1},
      {"a missing shortcut", [](Installed* t) { fs::remove(t->prefix_ / "drive_c/users/Me/Desktop/A.lnk"); },
       {"shortcut C:\\users\\Me\\Desktop\\A.lnk is missing"}, 3, 0},
      {"another target", [](Installed* t) { t->links_.begin()->second.first = "D:\\Kesta\\b.txt"; },
       {"shortcut C:\\users\\Me\\Desktop\\A.lnk leads to \"D:\\Kesta\\b.txt\", the package says "
        "\"D:\\Kesta\\a.txt\""}, 3, 0},
      {"other arguments", [](Installed* t) { t->links_.begin()->second.second = "-x"; },
       {"shortcut C:\\users\\Me\\Desktop\\A.lnk has the arguments \"-x\", the package says \"-x D:\\Kesta\""}, 3,
       0},
      {"a shortcut the shell cannot read", [](Installed* t) { t->links_.clear(); },
       {"shortcut C:\\users\\Me\\Desktop\\A.lnk cannot be read (no such shortcut)"}, 3, 0},
  };
  for (const auto& c : cases) {
    Installed installed;
    c.change(&installed);
    tvpack::CheckResult r = installed.check();
    EXPECT_EQ(r.problems, c.problems) << c.what;
    EXPECT_EQ(r.folder, "D:\\Kesta") << c.what;
    EXPECT_EQ(r.files_ok, c.files_ok) << c.what;
    EXPECT_EQ(r.files, 3u) << c.what;
    EXPECT_EQ(r.shortcuts_ok, c.shortcuts_ok) << c.what;
    EXPECT_TRUE(r.package_stops.empty()) << c.what;
  }
}

TEST(TryCheck, WhatLiesOutsideTheInstallFolderIsListedWithWhereItWent) {
  tvpack::CheckResult r = Installed().check();
  ASSERT_EQ(r.outside.size(), 2u);
  EXPECT_EQ(r.outside[0].what, "{Desktop}\\note.txt");
  EXPECT_EQ(r.outside[0].where, "C:\\users\\Me\\Desktop\\note.txt");
  EXPECT_FALSE(r.outside[0].shortcut);
  EXPECT_EQ(r.outside[1].what, "{Desktop}\\A.lnk");
  EXPECT_TRUE(r.outside[1].shortcut);
  EXPECT_EQ(r.launch, "");
}

// The maker tells a kernel that runs 32-bit programs as the machine's set-up does
// (which then installs 32-bit Wine): its probe asked through the script itself.
TEST(TryPrograms, ThirtyTwoBitProgramsRunHereExactlyWhenTheSetUpSaysSo) {
  std::string probe = "bash '" TV_SOURCE_DIR "/scripts/setup.sh' --probe-32bit";
  int status = std::system(probe.c_str());
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) <= 1) << "setup.sh --probe-32bit ended with " << status;
  bool set_up_says = WEXITSTATUS(status) == 0;
  EXPECT_EQ(tvpack::kernel_runs_32bit(), set_up_says);
}

}  // namespace
