// try's pieces that need no Wine: where a Windows path of the prefix lies on the host,
// and the check of an installation against its package (each kind of difference
// found, nothing found where there is none).
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "common/errors.h"
#include "assemble/build.h"
#include "pack_test_support.h"
#include "package/writer.h"
#include "try/cache_folder.h"
#include "try/check.h"
#include "try/code_page.h"
#include "try/drives.h"
#include "try/fit.h"
#include "try/prefix_cache.h"
#include "try/probe32.h"
#include "try/report.h"
#include "try/snapshot.h"
#include "try/upgrade.h"
#include "try/wine_user.h"
#include "base/text16.h"

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
    tvpack::InstallWalk walk;
    return tvpack::check_installation(walk, bytes_, folders, "D:\\Kesta", prefix_, read);
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
      {"the shortcut's target gone", [](Installed* t) { fs::remove(t->dir_ / "d/Kesta/a.txt"); },
       {"file D:\\Kesta\\a.txt is missing",
        "shortcut C:\\users\\Me\\Desktop\\A.lnk leads to \"D:\\Kesta\\a.txt\", which does not exist after the "
        "install"}, 2, 0},
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

// After an upgrade: the old folder under the installer's old-version name, found as the
// name that was not there before, and checked against the old package's files in it.
TEST(TryUpgrade, TheOldVersionIsFoundUnderItsNewNameAndCheckedThere) {
  const struct {
    const char* what;
    std::function<void(Installed*)> change;
    std::vector<std::string> problems;
    size_t files_ok;
  } cases[] = {
      {"moved whole", [](Installed*) {}, {}, 2},
      {"a file changed", [](Installed* t) { t->dir_.write("d/Kesta_旧版本2/a.txt", "a"); },
       {"file D:\\Kesta_旧版本2\\a.txt differs from the package's bytes at byte 0"}, 1},
      {"a file gone", [](Installed* t) { fs::remove(t->dir_ / "d/Kesta_旧版本2/sub/b.txt"); },
       {"file D:\\Kesta_旧版本2\\SUB\\b.txt is missing"}, 1},
      {"a file added", [](Installed* t) { t->dir_.write("d/Kesta_旧版本2/log.txt", "l"); },
       {"file D:\\Kesta_旧版本2\\log.txt is in the install folder, not in the package"}, 2},
  };
  for (const auto& c : cases) {
    Installed t;
    fs::create_directories(t.dir_ / "d/Kesta_旧版本1");  // an older version, there before
    tvpack::Snapshot before = tvpack::take_snapshot(t.prefix_);
    fs::rename(t.dir_ / "d/Kesta", t.dir_ / "d/Kesta_旧版本2");
    t.dir_.write("d/Kesta/new.txt", "n");
    c.change(&t);
    std::string moved = tvpack::moved_aside(t.prefix_, "D:\\Kesta", before);
    ASSERT_EQ(moved, "D:\\Kesta_旧版本2") << c.what;
    std::map<int, std::u16string> folders = {{0, u"C:\\users\\Me\\Desktop"}};
    tvpack::InstallWalk walk;
    tvpack::CheckResult r =
        tvpack::check_old_version(walk, t.bytes_, folders, "D:\\Kesta\\", tv::utf8_to_u16(moved), t.prefix_);
    EXPECT_EQ(r.problems, c.problems) << c.what;
    EXPECT_EQ(r.files, 2u) << c.what;  // {Desktop}\note.txt stays where it was
    EXPECT_EQ(r.files_ok, c.files_ok) << c.what;
  }
  Installed fresh;
  EXPECT_EQ(tvpack::moved_aside(fresh.prefix_, "D:\\Kesta", tvpack::take_snapshot(fresh.prefix_)), "");
}

// Wine's shell links keep a target in the prefix's code page (936): a character outside
// it reads back as one '?' per UTF-16 unit, and only that is Wine's loss.
TEST(TryCodePage, OnlyWhatCodePage936CannotHoldIsExplainedAway) {
  const struct {
    const char* planned;
    const char* got;
    bool lost;
  } cases[] = {
      {"D:\\笔记\xF0\x9F\x98\x80.txt", "D:\\笔记??.txt", true},     // an emoji: two units
      {"D:\\\xC4\xB3\xF0\x9F\x98\x80", "D:\\???", true},           // U+0133, then an emoji
      {"D:\\笔记\xF0\x9F\x98\x80.txt", "D:\\笔记?.txt", false},      // one '?' short
      {"D:\\笔记\xF0\x9F\x98\x80.txt", "D:\\笔?\?.txt", false},     // a character it holds lost
      {"D:\\笔记\xF0\x9F\x98\x80.txt", "D:\\Notes??.txt", false},   // another path
      {"D:\\笔记\xF0\x9F\x98\x80.txt", "D:\\笔记??.txt.lnk", false}, // more after it
      {"D:\\笔记.txt", "D:\\笔记.txt", false},                          // nothing lost
      {"D:\\a?.txt", "D:\\a?.txt", false},
      {"", "", false},
  };
  for (const auto& c : cases) EXPECT_EQ(tvpack::wine_code_page_loss(c.planned, c.got), c.lost) << c.planned;
}

TEST(TryUser, OnlyNamesWindowsTakesAreGivenAndTheProfileFollowsTheName) {
  const struct {
    std::string name;
    bool ok;
  } names[] = {{"Wang.Xiaoming-Design", true}, {"root", true}, {"Zhang Wei", true}, {"a", true},
               {"", false}, {"Wang.Xiaoming-Design1", false}, {"a/b", false}, {"a:b", false},
               {"a*", false}, {"end.", false}, {" lead", false}, {"\xE5\xBC\xA0\xE4\xBC\x9F", true},
               {"张三", true}, {"Łukasz", true}, {"Ñoño Müller", true}, {"Ωμέγα", true}, {"Иван", true},
               {"三三三三三三三三三三三三三三三三三三三三", true}, {"三三三三三三三三三三三三三三三三三三三三三", false},
               {"a\\b", false}, {"a|b", false}, {"a\"b", false}, {"a?", false}, {"a<b>", false}, {"张三.", false},
               {"张三 ", false}, {"a\x01b", false}, {"a\tb", false}, {"a\x7f", false}, {"CON", false},
               {"nul", false}, {"Com1", false}, {"LPT9", false}, {"CONSOLE", true}, {"\xFF\xFE" "ab", false},
               {"\xE5\xBC", false},
               // the prefix's own folders of C:\users, in any case
               {"Public", false}, {"public", false}, {"PUBLIC", false}, {"Default", false}, {"default", false},
               {"Default User", false}, {"all users", false}, {"Publics", true}, {"Defaulted", true},
               {"APublic", true}};
  for (const auto& n : names) EXPECT_EQ(tvpack::wine_user_problem(n.name).empty(), n.ok) << n.name;
  TempDir dir;
  fs::create_directories(dir / "drive_c/users/Public");
  fs::create_directories(dir / "drive_c/users/root/Desktop");
  dir.write("system.reg", "\"ProfileImagePath\"=\"C:\\\\users\\\\root\"\n"
                          "\"Common Favorites\"=\"C:\\\\users\\\\root\\\\Favorites\"\n"
                          "\"Other\"=\"C:\\\\users\\\\rooted\"\n");
  tvpack::become_user(dir / "", "Wang.Xiaoming-Design");
  EXPECT_TRUE(fs::is_directory(dir / "drive_c/users/Wang.Xiaoming-Design/Desktop"));
  EXPECT_FALSE(fs::exists(dir / "drive_c/users/root"));
  std::vector<uint8_t> reg = read_bytes(dir / "system.reg");
  EXPECT_EQ(std::string(reg.begin(), reg.end()),
            "\"ProfileImagePath\"=\"C:\\\\users\\\\Wang.Xiaoming-Design\"\n"
            "\"Common Favorites\"=\"C:\\\\users\\\\Wang.Xiaoming-Design\\\\Favorites\"\n"
            "\"Other\"=\"C:\\\\users\\\\rooted\"\n");
  // A name beyond ASCII: the folder in UTF-8, the registry's paths as Wine writes them.
  tvpack::become_user(dir / "", "张三");
  EXPECT_TRUE(fs::is_directory(dir / "drive_c/users/张三/Desktop"));
  reg = read_bytes(dir / "system.reg");
  EXPECT_EQ(std::string(reg.begin(), reg.end()),
            "\"ProfileImagePath\"=\"C:\\\\users\\\\\\x5f20\\x4e09\"\n"
            "\"Common Favorites\"=\"C:\\\\users\\\\\\x5f20\\x4e09\\\\Favorites\"\n"
            "\"Other\"=\"C:\\\\users\\\\rooted\"\n");
}

// The verdict: an expected box is no failure, one that never came is; an upgrade fails
// for what it left wrong, not for the shortcuts the new version stopped making.
TEST(TryVerdict, ExpectedBoxesAndUpgradesAreJudgedByWhatWasAsked) {
  auto box = [](bool expected) { return tvpack::Box{"安装目录太长", "安装目录太长，…", "确定", expected}; };
  const struct {
    const char* what;
    std::function<void(tvpack::Outcome*)> set;
    std::vector<std::string> why;
  } cases[] = {
      {"as the package says", [](tvpack::Outcome*) {}, {}},
      {"an expected box, then the install",
       [&](tvpack::Outcome* o) { o->run.boxes.push_back(box(true)); }, {}},
      {"a box nobody expected",
       [&](tvpack::Outcome* o) {
         o->run.boxes.push_back(box(false));
         o->run.stopped = "the installer showed a message box";
       },
       {"message box \"安装目录太长\": \"安装目录太长，…\" (answered 确定)"}},
      {"an expected box that never came", [](tvpack::Outcome* o) { o->run.missing_boxes.push_back("不存在"); },
       {"no message box held \"不存在\" (--expect-box)"}},
      {"an upgrade that moved nothing aside", [](tvpack::Outcome* o) { o->over = true; },
       {"the old version's folder D:\\Kesta was not moved aside"}},
      {"an upgrade as it should be, a shortcut left behind",
       [](tvpack::Outcome* o) {
         o->over = true;
         o->run.moved_aside = "D:\\Kesta_旧版本1";
         o->upgrade.left_behind.push_back("C:\\users\\u\\Desktop\\old.lnk");
       },
       {}},
      {"a folder of the system's moved aside, the install otherwise whole",
       [](tvpack::Outcome* o) {
         o->run.moved_aside = "C:\\Program Files_旧版本1";
         o->run.moved_own = "C:\\Program Files";
       },
       {"the installer moved aside C:\\Program Files, a folder of the system's or the user's (to "
        "C:\\Program Files_旧版本1)"}},
      {"an upgrade that changed more",
       [](tvpack::Outcome* o) {
         o->over = true;
         o->run.moved_aside = "D:\\Kesta_旧版本1";
         o->upgrade.changed.push_back("C:\\x.txt added");
         o->upgrade.not_whole.push_back("D:\\Kesta_旧版本1\\log.txt is missing");
       },
       {"the old version not moved whole: D:\\Kesta_旧版本1\\log.txt is missing",
        "changed besides the upgrade: C:\\x.txt added"}},
  };
  for (const auto& c : cases) {
    tvpack::Outcome o;
    o.checked = o.run.finish_dialog = true;
    o.run.exit_code = 0;
    o.upgrade.check.folder = "D:\\Kesta";
    c.set(&o);
    EXPECT_EQ(tvpack::failures(o), c.why) << c.what;
  }
}

// A prefix in dir whose C: and D: are the folders dir/c (with its windows folder) and dir/d.
fs::path prefix_with_drives(const TempDir& dir) {
  fs::path prefix = dir / "prefix";
  fs::create_directories(prefix / "dosdevices");
  fs::create_directories(dir / "c/windows");
  fs::create_directories(dir / "d");
  fs::create_directory_symlink(dir / "c", prefix / "dosdevices" / "c:");
  fs::create_directory_symlink(dir / "d", prefix / "dosdevices" / "d:");
  return prefix;
}

// What an upgrade changed: the old folder whole under its new name, and the rest.
TEST(TrySnapshot, ChangesAndAFolderMovedWholeAreTold) {
  TempDir dir;
  fs::path prefix = prefix_with_drives(dir);
  dir.write("d/Kesta/a.txt", "a");
  dir.write("d/Kesta/sub/b.txt", "b");
  dir.write("c/keep.txt", "k");
  dir.write("c/gone.txt", "g");
  tvpack::Snapshot before = tvpack::take_snapshot(prefix);
  fs::path d = fs::canonical(dir / "d");
  fs::rename(d / "Kesta", d / "Kesta_old");
  dir.write("d/Kesta_old/sub/b.txt", "bb");
  dir.write("d/Kesta_old/new.txt", "n");
  dir.write("d/Kesta/a.txt", "A");
  fs::remove(dir / "c/gone.txt");
  dir.write("c/windows/system.ini", "w");  // Windows' own folder is not looked at
  dir.write("c/added.txt", "x");
  tvpack::Snapshot after = tvpack::take_snapshot(prefix);
  EXPECT_EQ(tvpack::moved_whole(prefix, before, after, d / "Kesta", d / "Kesta_old"),
            (std::vector<std::string>{"D:\\Kesta_old\\sub\\b.txt differs from what was in the old folder",
                                      "D:\\Kesta_old\\new.txt was not in the old folder"}));
  EXPECT_EQ(tvpack::changes(prefix, before, after, {d / "Kesta", d / "Kesta_old"}),
            (std::vector<std::string>{"C:\\gone.txt removed", "C:\\added.txt added"}));
  EXPECT_EQ(tvpack::windows_path_of(prefix, d), "D:\\");
}

// What the cache tests make another user's: root can hand a file to nobody.
constexpr uid_t kNobody = 65534;
bool can_give_away() { return geteuid() == 0; }

mode_t mode_of(const fs::path& p) {
  struct stat st;
  return lstat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Where the prefix cache is kept: the environment's folder when it is the user's own;
// without a home a folder of the user's own in the temporary folder; anything another
// user made or can write is replaced by a private folder for the run alone.
TEST(TryCache, TheCacheIsAFolderOfTheUsersOwn) {
  const std::string me = std::to_string(geteuid());
  const struct {
    const char* what;
    bool xdg, home;  // set or empty
    std::function<void(const fs::path& root)> before;
    const char* path;  // relative to the test's folder; "" for a new private one
    bool needs_root;
  } cases[] = {
      {"XDG_CACHE_HOME", true, true, nullptr, "xdg/talvenor-pack", false},
      {"HOME alone", false, true, nullptr, "home/.cache/talvenor-pack", false},
      {"no home: the user's own folder in the temporary folder", false, false, nullptr, "", false},
      {"no home, that folder already the user's", false, false,
       [&](const fs::path& r) { fs::create_directory(r / "tmp" / ("talvenor-pack-" + me)); chmod((r / "tmp" / ("talvenor-pack-" + me)).c_str(), 0700); },
       "", false},
      {"no home, that folder made by another user", false, false,
       [&](const fs::path& r) { fs::create_directory(r / "tmp" / ("talvenor-pack-" + me)); chown((r / "tmp" / ("talvenor-pack-" + me)).c_str(), kNobody, kNobody); },
       nullptr, true},
      {"no home, that folder a link to one of the user's", false, false,
       [&](const fs::path& r) { fs::create_directory(r / "mine"); chmod((r / "mine").c_str(), 0700);
                                 fs::create_directory_symlink(r / "mine", r / "tmp" / ("talvenor-pack-" + me)); },
       nullptr, false},
      {"no home, that folder open to everyone", false, false,
       [&](const fs::path& r) { fs::create_directory(r / "tmp" / ("talvenor-pack-" + me)); chmod((r / "tmp" / ("talvenor-pack-" + me)).c_str(), 0777); },
       nullptr, false},
      {"XDG_CACHE_HOME's folder made by another user", true, true,
       [](const fs::path& r) { fs::create_directories(r / "xdg/talvenor-pack"); chown((r / "xdg/talvenor-pack").c_str(), kNobody, kNobody); },
       nullptr, true},
      {"HOME's folder writable by its group", false, true,
       [](const fs::path& r) { fs::create_directories(r / "home/.cache/talvenor-pack"); chmod((r / "home/.cache/talvenor-pack").c_str(), 0775); },
       nullptr, false},
  };
  for (const auto& t : cases) {
    if (t.needs_root && !can_give_away()) continue;
    TempDir dir;
    fs::create_directories(dir / "tmp");
    if (t.before) t.before(dir / "");
    tvpack::CacheFolder got = tvpack::cache_folder(t.xdg ? (dir / "xdg").string() : "",
                                                   t.home ? (dir / "home").string() : "", dir / "tmp");
    if (t.path == nullptr) {  // refused: a new private folder for this run
      EXPECT_TRUE(got.throwaway) << t.what;
      EXPECT_EQ(got.path.parent_path(), dir / "tmp") << t.what;
      EXPECT_NE(got.path.filename(), "talvenor-pack-" + me) << t.what;
      EXPECT_NE(got.note.find("for this run alone"), std::string::npos) << t.what << ": " << got.note;
    } else {
      fs::path want = *t.path ? dir / t.path : dir / "tmp" / ("talvenor-pack-" + me);
      EXPECT_EQ(got.path, want) << t.what;
      EXPECT_FALSE(got.throwaway) << t.what;
      EXPECT_EQ(got.note, "") << t.what;
    }
    EXPECT_EQ(tvpack::distrust(got.path), "") << t.what;
    if (!t.home) {
      EXPECT_EQ(mode_of(got.path), 0700u) << t.what;
    }
  }
}

// A cached clean prefix is used only when this user made it and nobody else can have
// written to it since; else it is made anew (here by a stand-in for wineboot).
TEST(TryCache, APrefixAnotherUserCouldHaveWrittenIsMadeAnew) {
  const struct {
    const char* what;
    std::function<void(const fs::path& prefix)> spoil;
    bool used, needs_root;
  } cases[] = {
      {"the user's own", [](const fs::path&) {}, true, false},
      {"the prefix another user's", [](const fs::path& p) { chown(p.c_str(), kNobody, kNobody); }, false, true},
      {"a program in it another user's",
       [](const fs::path& p) { chown((p / "drive_c/windows/system32/a.dll").c_str(), kNobody, kNobody); }, false, true},
      {"its registry writable by the group", [](const fs::path& p) { chmod((p / "system.reg").c_str(), 0664); },
       false, false},
      {"a folder in it open to everyone", [](const fs::path& p) { chmod((p / "drive_c/windows").c_str(), 0777); },
       false, false},
      {"the prefix writable by others", [](const fs::path& p) { chmod(p.c_str(), 0757); }, false, false},
      {"a link in it (its mode means nothing)",
       [](const fs::path& p) { fs::create_directory_symlink("../drive_c", p / "dosdevices/c:"); }, true, false},
  };
  for (const auto& t : cases) {
    if (t.needs_root && !can_give_away()) continue;
    TempDir dir;
    fs::path cache = dir / "cache";
    fs::create_directories(cache);
    chmod(cache.c_str(), 0700);
    tvpack::Wine wine;
    wine.version = "wine-8.0";
    wine.arch = "win64";
    wine.boot = dir.write("wineboot", "#!/bin/sh\nmkdir -p \"$WINEPREFIX/drive_c/windows\"\n"
                                      "echo MADE > \"$WINEPREFIX/system.reg\"\n").string();
    chmod(wine.boot.c_str(), 0755);
    wine.server = "/bin/true";
    fs::path prefix = cache / "prefix-wine-8.0-win64";
    dir.write("cache/prefix-wine-8.0-win64/system.reg", "FOUND");
    dir.write("cache/prefix-wine-8.0-win64/drive_c/windows/system32/a.dll", "MZ");
    fs::create_directories(prefix / "dosdevices");
    t.spoil(prefix);
    tvpack::Processes processes;
    std::ostringstream log;
    fs::path got = tvpack::cached_prefix(cache, wine, {"WINEPREFIX=x", "PATH=/usr/bin:/bin"}, processes, log);
    EXPECT_EQ(got, prefix) << t.what;
    std::vector<uint8_t> bytes = read_bytes(prefix / "system.reg");
    std::string reg(bytes.begin(), bytes.end());
    EXPECT_EQ(reg.substr(0, 4), t.used ? "FOUN" : "MADE") << t.what;
    EXPECT_EQ(log.str().find("not this user's own") != std::string::npos, !t.used) << t.what << ": " << log.str();
    EXPECT_EQ(tvpack::tree_distrust(got), "") << t.what;
  }
}

// The 32-bit probe runs from the first folder that takes a file and lets it run; where
// none does, it says it cannot tell, and why.
TEST(TryPrograms, TheProbeRunsFromAFolderThatLetsProgramsRun) {
  TempDir dir;
  fs::create_directories(dir / "ok");
  dir.write("a-file", "x");
  int runs = tvpack::kernel_runs_32bit() ? 1 : 0;
  std::vector<fs::path> unusable = {dir / "missing", dir / "a-file"};
  bool noexec = false;
  if (can_give_away()) {  // root: a file system mounted noexec, as some /tmp are
    fs::create_directories(dir / "noexec");
    noexec = mount("tmpfs", (dir / "noexec").c_str(), "tmpfs", MS_NOEXEC, "size=64k") == 0;
    if (noexec) unusable.push_back(dir / "noexec");
  }
  tvpack::Probe32 none = tvpack::probe_32bit(unusable);
  EXPECT_EQ(none.runs, -1);
  for (const fs::path& p : unusable) EXPECT_NE(none.why.find(p.string()), std::string::npos) << none.why;
  std::vector<fs::path> with_one = unusable;
  with_one.push_back(dir / "ok");
  EXPECT_EQ(tvpack::probe_32bit(with_one).runs, runs);
  EXPECT_TRUE(fs::is_empty(dir / "ok")) << "the probe is removed";
  if (noexec) umount((dir / "noexec").c_str());
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

// A run as the report sees it: an upgrade with --running, where the rename box came
// before the finish dialog and the old program was closed after it, every kind of line.
tvpack::Outcome full_outcome() {
  using tvpack::Happened;
  tvpack::Outcome o;
  o.names = "product name: \"晨光笔记\"\n";
  o.bits = 64;
  o.wine = "wine-9.0";
  o.display = ":3";
  o.over = o.checked = true;
  tvpack::TryRun& r = o.run;
  r.install_dialog = r.finish_dialog = true;
  r.to_install = 1.5;
  r.to_finish = 11.6;
  r.offered = "D:\\DawnNotes";
  r.typed_folders = {"D:\\Short"};
  r.typed = "D:\\Short";
  r.boxes = {{"无法安装", "重命名旧版本失败！", "确定", true}};
  r.cut = {{"finish", 1002, "已安装到 D:\\Short。", "300x20", "200x20"}};
  r.shots = {{"install", "shots/01-install.png", 472, 181}, {"message", "shots/02-message.png", 300, 120},
             {"finish", "shots/03-finish.png", 389, 155}};
  r.started = {{"D:\\Short\\DawnNotes.exe", ""}};
  r.exit_code = 0;
  r.moved_aside = "D:\\Short_旧版本1";
  r.order = {{Happened::kInstallDialog, 0}, {Happened::kShot, 0}, {Happened::kBox, 0}, {Happened::kShot, 1},
             {Happened::kStep, 2}, {Happened::kTyped, 0}, {Happened::kFinishDialog, 0}, {Happened::kCut, 0},
             {Happened::kShot, 2}, {Happened::kStarted, 0}};
  o.old_shots = {{"install", "shots/old1/01-install.png", 472, 181, "old1"}};
  tvpack::Upgrade& u = o.upgrade;
  u.installer = "notes-1.0.exe";
  u.check.folder = "D:\\Short";
  u.steps = {"started the old version's program D:\\Short\\DawnNotes.exe", "held D:\\Short open",
             "closed the old version's program by its window, as a user would"};
  u.replaced = {"C:\\users\\张三\\AppData\\Roaming\\DawnNotes\\settings.ini"};
  o.check.folder = "D:\\Short";
  o.check.launch = "D:\\Short\\DawnNotes.exe";
  o.check.help = "D:\\Short\\help.html";
  return o;
}

// The report's lines in the order things happened; every screenshot listed, the old
// version's too; what the new version replaced outside its folder.
TEST(TryReport, LinesComeInTheOrderThingsHappened) {
  tvpack::TryOptions opt;
  opt.installer = "notes-2.0.exe";
  opt.run = true;
  tvpack::Outcome o = full_outcome();
  std::ostringstream text;
  tvpack::write_text(opt, o, tvpack::failures(o), text);
  const char* in_order[] = {
      "screenshot: shots/old1/01-install.png (install, 472x181)",
      "old version notes-1.0.exe: installed to D:\\Short",
      "  started the old version's program D:\\Short\\DawnNotes.exe",
      "  held D:\\Short open",
      "install dialog after 1.5 s: ",
      "screenshot: shots/01-install.png (install, 472x181)",
      "message box \"无法安装\": \"重命名旧版本失败！\", answered 确定 (expected)",
      "screenshot: shots/02-message.png (message, 300x120)",
      "  closed the old version's program by its window, as a user would",
      "typed the folder \"D:\\Short\"",
      "finish dialog after 11.6 s: ",
      "cut off in the finish dialog: control 1002 ",
      "screenshot: shots/03-finish.png (finish, 389x155)",
      "the installer moved the existing folder aside to D:\\Short_旧版本1",
      "installed to D:\\Short: ",
      "replaced: C:\\users\\张三\\AppData\\Roaming\\DawnNotes\\settings.ini (a user's changes to it would be lost)",
      "started: D:\\Short\\DawnNotes.exe",
      "the program ({Launch}) \"D:\\Short\\DawnNotes.exe\": started",
      "the help document ({Help}) \"D:\\Short\\help.html\": no process was seen for it",
      "FAIL:",
  };
  std::string report = text.str();
  size_t at = 0;
  for (const char* line : in_order) {
    size_t found = report.find(std::string("\n") + line, at);
    ASSERT_NE(found, std::string::npos) << "not after the line before: " << line << "\n" << report;
    at = found + 1;
  }
  // Each step once: the one after the box is not told again with the old version.
  EXPECT_EQ(report.find("closed the old version's program"), report.rfind("closed the old version's program"));
}

std::string read_text(const fs::path& path) {
  std::vector<uint8_t> bytes = read_bytes(path);
  return std::string(bytes.begin(), bytes.end());
}

// Every key the JSON report holds is documented in docs/try.md's table of keys, and the
// installer's exit code is named so that it cannot be taken for try's own status.
TEST(TryReport, EveryJsonKeyIsDocumented) {
  TempDir dir;
  tvpack::TryOptions opt;
  opt.installer = "notes-2.0.exe";
  opt.run = true;
  opt.json = dir / "try.json";
  tvpack::Outcome o = full_outcome();
  o.check.outside = {{"{AppData}\\DawnNotes\\settings.ini", "C:\\users\\x\\settings.ini", false}};
  o.run.missing_boxes = {"安装目录太长"};
  EXPECT_EQ(tvpack::write_json(opt, o, tvpack::failures(o), 1), "");
  std::string json = read_text(opt.json), docs = read_text(fs::path(TV_SOURCE_DIR) / "docs" / "try.md");
  std::set<std::string> keys;
  for (size_t at = 0; (at = json.find("\": ", at)) != std::string::npos; ++at) {
    size_t open = json.rfind('"', at - 1);
    keys.insert(json.substr(open + 1, at - open - 1));
  }
  EXPECT_GT(keys.size(), 50u);
  // A row of the table: "| `key` |", or "| `outer.key` |" for a key inside another.
  for (const std::string& k : keys)
    EXPECT_TRUE(std::regex_search(docs, std::regex("\\| `([a-z_]+\\.)*" + k + "` \\| [a-z]")))
        << "docs/try.md has no row for the key " << k;
  EXPECT_EQ(keys.count("exit_code"), 0u);
  EXPECT_NE(json.find("\"installer_exit_code\": 0,"), std::string::npos) << json;
  EXPECT_NE(json.find("\"program\": {\"path\": \"D:\\\\Short\\\\DawnNotes.exe\", \"started\": true}"),
            std::string::npos) << json;
  EXPECT_NE(json.find("\"help\": {\"path\": \"D:\\\\Short\\\\help.html\", \"started\": false}"), std::string::npos);
  EXPECT_NE(json.find("{\"version\": \"old1\", \"dialog\": \"install\", \"path\": \"shots/old1/01-install.png\""),
            std::string::npos) << json;
  EXPECT_NE(json.find("\"replaced\": [\"C:\\\\users\\\\张三\\\\AppData\\\\Roaming\\\\DawnNotes\\\\settings.ini\"]"),
            std::string::npos) << json;
}

// A report that cannot be written says why, with the system's reason.
TEST(TryReport, AReportThatCannotBeWrittenSaysWhy) {
  TempDir dir;
  tvpack::TryOptions opt;
  tvpack::Outcome o = full_outcome();
  fs::create_directories(dir / "a folder");
  const struct {
    fs::path json;
    std::string why;
  } cases[] = {{dir / "a folder", "cannot be written (Is a directory)"},
               {"/dev/full", "cannot be written (No space left on device)"},
               {dir / "no/such/folder.json", "cannot be written (No such file or directory)"}};
  for (const auto& c : cases) {
    opt.json = c.json;
    EXPECT_EQ(tvpack::write_json(opt, o, {}, 0), c.why) << c.json;
  }
}

// The files an upgrade replaced outside the old version's folder with other bytes: a
// user's changes to them would be lost. The same bytes written again, or a file inside
// the folder, are no such loss.
TEST(TryUpgrade, FilesReplacedOutsideTheFolderAreListed) {
  TempDir dir;
  fs::path prefix = prefix_with_drives(dir);
  fs::path d = fs::canonical(dir / "d");
  const char* files[] = {"c/AppData/Dawn/settings.ini", "c/AppData/Dawn/same.ini", "d/Notes/a.txt", "c/big.bin"};
  tvpack::Upgrade up;
  up.folder_host = d / "Notes";
  for (const char* f : files) {
    dir.write(f, "1.0");
    up.check.placed.push_back(fs::canonical(dir / f));
  }
  dir.write("c/big.bin", std::string(200000, 'x'));
  dir.write("c/Desktop/Dawn.lnk", "link 1.0");  // a shortcut: the installer's, written again
  up.check.placed.push_back(fs::canonical(dir / "c/Desktop/Dawn.lnk"));
  up.check.shortcut_files = {"C:\\Desktop\\Dawn.lnk"};
  tvpack::remember_outside_files(prefix, &up);
  dir.write("c/Desktop/Dawn.lnk", "link 2.0");
  dir.write("c/AppData/Dawn/settings.ini", "2.0");
  dir.write("c/AppData/Dawn/same.ini", "1.0");
  dir.write("d/Notes/a.txt", "2.0");
  dir.write("c/big.bin", std::string(199999, 'x') + "y");
  tvpack::CheckResult now;
  now.folder = "D:\\Notes";
  now.placed = up.check.placed;
  up.before = tvpack::take_snapshot(prefix);
  tvpack::InstallWalk walk;
  tvpack::check_upgrade(walk, {}, tvpack::TryRun(), now, prefix, &up);
  EXPECT_EQ(up.replaced, (std::vector<std::string>{"C:\\AppData\\Dawn\\settings.ini", "C:\\big.bin"}));
}

}  // namespace
