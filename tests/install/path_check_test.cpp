// The check of the package's paths that the install sequence makes before anything
// is moved or written: folders too long for the paths, names Windows cannot hold.
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "install/install.h"
#include "install/path_check.h"
#include "package/script.h"
#include "platform/standin/standin.h"
#include "support/test_support.h"
#include "variables/table.h"

namespace {

using tv::InstallOutcome;
using Vars = std::vector<std::pair<std::u16string, std::u16string>>;

std::u16string folder_of(size_t units) { return u"D:\\" + std::u16string(units - 3, u'k'); }

class PathCheckTest : public tvtest::InstallerTest {
 protected:
  void load(const Vars& vars, const std::u16string& file, const std::u16string& location) {
    embed_script(tvtest::make_script(1, vars, {{u"{App}\\a.txt", "a"}, {file, "f"}},
                                     u"icon\n{App}\\a.txt\n\n" + location));
    ASSERT_EQ(tv::load_package(), 1);
  }
  // Every file under the stand-in's root with its content; an old installation at
  // folder, which a refusal must leave where it is.
  std::map<std::string, std::string> disk_with_old_version_at(const std::u16string& folder) {
    make_host_dir(folder);
    write_host_file(folder + u"\\old.txt", "old");
    return disk();
  }
  std::map<std::string, std::string> disk() const {
    std::map<std::string, std::string> out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root_)) {
      if (!e.is_regular_file()) continue;
      std::ostringstream content;
      content << std::ifstream(e.path(), std::ios::binary).rdbuf();
      out[e.path().generic_string()] = content.str();
    }
    return out;
  }
};

// The deepest path below "{App}" holds 200 units after "{App}\", a file that follows
// "{App}" through a variable or a shortcut file with its ".lnk": 258 - 200 = 58 is the
// longest folder. A shortcut under {Desktop} too long for any folder is passed over.
TEST_F(PathCheckTest, FolderLengthsAroundTheRoom) {
  const std::u16string deep = u"{Bin}\\" + std::u16string(95, u'a') + u"\\" + std::u16string(100, u'b');
  const std::u16string link = u"{App}\\" + std::u16string(196, u'c');
  const std::u16string desktop = u"{Desktop}\\" + std::u16string(240, u'd');
  struct Case {
    std::u16string file, location;
    size_t folder;
    bool refused;  // with the box naming 58, then installed into 58
  } cases[] = {{deep, u"{App}\\s", 57, false},  {deep, u"{App}\\s", 58, false},
               {deep, u"{App}\\s", 59, true},   {u"{App}\\s", link, 59, true},
               {u"{App}\\s", desktop, 59, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    messages_.clear();
    load({{u"{App}", u"D:\\Kesta"}, {u"{Bin}", u"{App}\\bin"}}, c.file, c.location);
    std::u16string folder = folder_of(c.folder);
    auto before = disk_with_old_version_at(folder);
    const uint8_t* files_at = tv::script_cursor().pos;
    InstallOutcome outcome = tv::run_install_sequence(folder.c_str());
    if (c.refused) {
      EXPECT_EQ(outcome, InstallOutcome::kFolderTooLong);
      ASSERT_EQ(messages_.size(), 1u);
      EXPECT_EQ(messages_[0].text,
                u"安装目录太长，安装后的文件路径会超过 259 个字符。请选择不超过 58 个字符的目录。");
      EXPECT_EQ(messages_[0].caption, u"安装目录太长");
      EXPECT_EQ(messages_[0].type, 0x30u);
      EXPECT_EQ(disk(), before);
      EXPECT_EQ(tv::script_cursor().pos, files_at);
      EXPECT_EQ(tvtest::utf8(*tv::find_variable(u"{Bin}")), "D:\\Kesta\\bin");
      folder = folder_of(58);  // the same dialog, a folder that leaves room
      outcome = tv::run_install_sequence(folder.c_str());
    }
    EXPECT_EQ(outcome, InstallOutcome::kInstalled);
    EXPECT_EQ(messages_.size(), c.refused ? 1u : 0u);
    auto placed = [&](std::u16string path) {
      return path.replace(0, path.find(u'}') + 1, path[1] == u'B' ? folder + u"\\bin" : folder);
    };
    EXPECT_TRUE(host_exists(placed(c.file)));
    EXPECT_EQ(host_exists(placed(c.location) + u".lnk"), c.location != desktop);
  }
}

// A name Windows cannot hold in what the package contributes to a file or a shortcut
// file, directly or through a variable: the damaged-package box, nothing moved or
// written. The user's own folders are what they are.
TEST_F(PathCheckTest, NamesWindowsCannotHold) {
  struct Case {
    Vars vars;
    std::u16string file, location;
  } cases[] = {
      {{}, u"{App}\\sub\\NUL.txt", u"{Desktop}\\T"},
      {{}, u"{App}\\aux", u"{Desktop}\\T"},
      {{}, u"{App}\\notes.", u"{Desktop}\\T"},
      {{{u"{Data}", u"{App}\\com1"}}, u"{Data}\\x.txt", u"{Desktop}\\T"},
      {{}, u"{App}\\b.txt", u"{Desktop}\\con"},
      {{}, u"{App}\\b.txt", u"{Programs}\\Group.\\T"},
      // {Link} is read again before the package's own {Desktop} is.
      {{{u"{Link}", u"{Desktop}\\T"}, {u"{Desktop}", u"D:\\NUL"}}, u"{App}\\b.txt", u"{Link}"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(tvtest::utf8((c.file + u" " + c.location).c_str()));
    messages_.clear();
    Vars vars = {{u"{App}", u"D:\\Kesta"}};
    vars.insert(vars.end(), c.vars.begin(), c.vars.end());
    load(vars, c.file, c.location);
    auto before = disk_with_old_version_at(u"D:\\Kesta");
    EXPECT_EQ(tv::run_install_sequence(u"D:\\Kesta"), InstallOutcome::kFailed);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, u"安装文件已损坏!");
    EXPECT_EQ(messages_[0].caption, u"安装失败");
    EXPECT_EQ(disk(), before);
  }
  // Checked alone: a Windows host could not make these folders to install into.
  messages_.clear();
  tv::posix::set_special_folder(0, u"C:\\Users\\aux .");
  load({{u"{App}", u"D:\\Kesta"}}, u"{App}\\b.txt", u"{Desktop}\\T");
  unsigned room = 0;
  EXPECT_EQ(tv::check_install_paths(u"D:\\con\\x.", &room), tv::PathCheck::kFits);
  EXPECT_TRUE(messages_.empty());
}

// One finding as a test compares it: where, and the name with each folder's mark
// written as its variable.
struct Finding {
  bool shortcut;
  unsigned record;
  tv::PathFault fault;
  std::u16string name;
  bool operator==(const Finding& o) const {
    return shortcut == o.shortcut && record == o.record && fault == o.fault && name == o.name;
  }
};

void PrintTo(const Finding& f, std::ostream* out) {
  *out << (f.shortcut ? "shortcut " : "file ") << f.record << (f.fault == tv::PathFault::kBadName ? " name " : " ")
       << tvtest::utf8(f.name.c_str());
}

bool collect(void* context, const tv::PathVerdict& v) {
  if (v.fault == tv::PathFault::kNone) return true;  // a path that passes: no finding
  Finding f = {v.shortcut, v.record, v.fault, u""};
  for (size_t i = 0; v.fault == tv::PathFault::kBadName && i < v.name_units; ++i) {
    const char16_t* folder = tv::marked_folder(v.path[v.name_at + i]);
    f.name += folder != nullptr ? std::u16string(folder) : std::u16string(1, v.path[v.name_at + i]);
  }
  static_cast<std::vector<Finding>*>(context)->push_back(f);
  return true;
}

// Each finding says which record of which section and which name: what the package's
// text contributes is judged, the folders are the user's ({App} is "D:\Kesta." here,
// a name Windows cannot hold that the user chose). The first finding is the package's
// damage; the check looks on only for a visitor.
TEST_F(PathCheckTest, VerdictsSayWhichRecordAndWhichName) {
  using F = tv::PathFault;
  const std::u16string t = u"icon\n{App}\\a\n\n{Desktop}\\T";  // a shortcut with no fault
  struct Case {
    std::vector<std::u16string> files;
    std::u16string shortcuts;
    std::vector<Finding> found;
  } cases[] = {
      {{u"{App}\\a.txt", u"{App}\\sub\\b.txt"}, t, {}},
      {{u"{App}\\a.txt", u"{App}\\sub.\\b.txt"}, t, {{false, 1, F::kBadName, u"sub."}}},
      {{u"D:\\Kesta.\\x.txt"}, t, {{false, 0, F::kBadName, u"Kesta."}}},
      {{u"{App}x.\\y"}, t, {{false, 0, F::kBadName, u"{App}x."}}},
      {{u"{Desktop}\\NUL"}, t, {{false, 0, F::kBadName, u"NUL"}}},
      {{u"{Desktop}\\Lpt\u00B9.log\\x"}, t, {{false, 0, F::kBadName, u"Lpt\u00B9.log"}}},
      {{u"{Nope}\\a", u"{App}\\CON", u"{App}\\ok"}, t,
       {{false, 0, F::kNotExpanded, u""}, {false, 1, F::kBadName, u"CON"}}},
      {{u"{App}\\" + std::u16string(258, u'x')}, t, {{false, 0, F::kNotExpanded, u""}}},
      {{u"{App}\\a"}, t + u"\nicon\n{App}\\a\n\n{Desktop}\\PRN", {{true, 1, F::kBadName, u"PRN.lnk"}}},
      {{u"{App}\\a"}, u"x\nicon\nt\n\n{Programs}\\G \\aux", {{true, 0, F::kBadName, u"G "}}},
      {{u"{App}\\a "}, u"icon\nt\n\n{Desktop}\\nul", {{false, 0, F::kBadName, u"a "}, {true, 0, F::kBadName, u"nul.lnk"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(tvtest::utf8((c.files.back() + u" " + c.shortcuts).c_str()));
    std::vector<tvtest::FileEntry> files;
    for (const std::u16string& f : c.files) files.push_back({f, "f"});
    embed_script(tvtest::make_script(1, {{u"{App}", u"D:\\Kesta."}}, files, c.shortcuts));
    ASSERT_EQ(tv::load_package(), 1);
    unsigned room = 0;
    std::vector<Finding> got;
    tv::clear_damage_reason();
    tv::PathCheck told = tv::check_install_paths(u"D:\\Kesta.", &room, collect, &got);
    EXPECT_EQ(got, c.found);
    EXPECT_EQ(told == tv::PathCheck::kDamaged, !c.found.empty());
    std::string reason = c.found.empty() ? "" : tv::path_fault_reason(c.found[0].fault);
    EXPECT_EQ(std::string(tv::damage_reason()), reason);
    // Without a visitor the first finding alone, the same damage.
    tv::clear_damage_reason();
    EXPECT_EQ(tv::check_install_paths(u"D:\\Kesta.", &room) == tv::PathCheck::kDamaged, !c.found.empty());
    EXPECT_EQ(std::string(tv::damage_reason()), reason);
  }
}

// A path that passes is told to a visitor as no finding (kNone), each folder variable
// its mark: where the path starts is read off its first unit. A path with a finding
// is told as that finding alone.
TEST_F(PathCheckTest, APathThatPassesIsToldWithItsMarks) {
  embed_script(tvtest::make_script(1, {{u"{App}", u"D:\\Kesta"}, {u"{Cfg}", u"{AppData}\\Dawn"}},
                                   {{u"{Desktop}\\a", "f"}, {u"{App}\\b", "f"}, {u"D:\\c", "f"},
                                    {u"{Cfg}\\d", "f"}, {u"{Desktop}\\NUL", "f"}},
                                   u"icon\n{App}\\a\n\n{Programs}\\G\\T\nicon\n{App}\\a\n\nE:\\T"));
  ASSERT_EQ(tv::load_package(), 1);
  std::vector<std::pair<std::string, std::u16string>> told;  // "file 0", the leading folder or unit
  auto visit = [](void* context, const tv::PathVerdict& v) {
    const char16_t* folder = tv::marked_folder(v.path[0]);
    std::string where = (v.shortcut ? "shortcut " : "file ") + std::to_string(v.record) +
                        (v.fault == tv::PathFault::kNone ? "" : " fault");
    static_cast<std::vector<std::pair<std::string, std::u16string>>*>(context)->push_back(
        {where, folder != nullptr ? std::u16string(folder) : std::u16string(1, v.path[0])});
    return true;
  };
  unsigned room = 0;
  EXPECT_EQ(tv::check_install_paths(u"D:\\Kesta", &room, visit, &told), tv::PathCheck::kDamaged);
  const std::vector<std::pair<std::string, std::u16string>> expected = {
      {"file 0", u"{Desktop}"},       {"file 1", u"{App}"},          {"file 2", u"D"},
      {"file 3", u"{AppData}"},       {"file 4 fault", u"{Desktop}"}, {"shortcut 0", u"{Programs}"},
      {"shortcut 1", u"E"}};
  EXPECT_EQ(told, expected);
}

}  // namespace
