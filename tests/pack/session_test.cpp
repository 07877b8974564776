// The session's doors into the installer: the install folder's names, the folder-name
// rule, the table's variable names, a session started over as a new one, and where
// the installer reads each path to start.
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/text16.h"
#include "package/writer.h"
#include "platform/host/host_calls.h"
#include "session/folder_name.h"
#include "session/install_folder.h"
#include "session/installer_session.h"
#include "session/variable_names.h"

namespace {

using tvpack::InstallerSession;

// The folder-name resource's bytes: the name's UTF-16LE units, no NUL.
std::vector<uint8_t> folder_name_resource(const std::u16string& name) {
  std::vector<uint8_t> bytes;
  for (char16_t c : name) {
    bytes.push_back(uint8_t(c & 0xFF));
    bytes.push_back(uint8_t(c >> 8));
  }
  return bytes;
}

TEST(SessionDoors, TheInstallFolderIsTheInstallButtonsForTheEditText) {
  InstallerSession session;
  const std::u16string long_text = u"D:\\" + std::u16string(300, u'k');
  const struct {
    std::u16string edit_text, folder;
  } cases[] = {
      {u"D:\\Kesta", u"D:\\Kesta"},
      {u"D:\\Kesta\\\\", u"D:\\Kesta"},    // trailing backslashes go
      {u"\\\\", u"D:\\Kesta"},             // nothing left: the default
      {u"", u"D:\\Kesta"},                 // no folder name of its own: "Kesta"
      {u"E:\\a b\\c", u"E:\\a b\\c"},
      {long_text, long_text.substr(0, 259)},  // the first 259 units
  };
  for (const auto& c : cases) EXPECT_EQ(tvpack::install_folder_from(c.edit_text), c.folder);
}

TEST(SessionDoors, AnEmptyBoxNamesTheProductsFolderUntilTheSessionStartsOver) {
  InstallerSession session;
  tv::posix::set_own_resource(tv::OwnResource::kFolderName, folder_name_resource(u"Dawn Notes"));
  EXPECT_EQ(tvpack::install_folder_from(u""), u"D:\\Dawn Notes");
  session.start_over();  // the own resources go with the rest
  EXPECT_EQ(tvpack::install_folder_from(u""), u"D:\\Kesta");
}

TEST(SessionDoors, TheOldVersionsNameIsTheInstallersOrNone) {
  const struct {
    std::u16string folder;
    int number;
    std::optional<std::u16string> moved;
  } cases[] = {
      {u"D:\\Kesta", 1, u"D:\\Kesta_旧版本1"},
      {u"D:\\Kesta", 12, u"D:\\Kesta_旧版本12"},
      {u"D:\\" + std::u16string(250, u'k'), 1, u"D:\\" + std::u16string(250, u'k') + u"_旧版本1"},
      {u"D:\\" + std::u16string(252, u'k'), 1, std::nullopt},  // 260 units: longer than a path
  };
  for (const auto& c : cases) EXPECT_EQ(tvpack::old_version_folder(c.folder, c.number), c.moved) << c.number;
}

TEST(SessionDoors, AFolderNameIsOneTheInstallerTakes) {
  const struct {
    std::u16string name;
    bool taken;
  } cases[] = {
      {u"Kesta", true},
      {u"Dawn Notes 2", true},
      {u"名字", true},
      {std::u16string(tvpack::kMaxFolderNameUnits, u'a'), true},
      {std::u16string(tvpack::kMaxFolderNameUnits + 1, u'a'), false},
      {u"", false},
      {u"a\\b", false},
      {u"a/b", false},
      {u"a<b", false},
      {u"CON", false},
      {u"nul.txt", false},
      {u"Kesta.", false},
      {u"Kesta ", false},
      {u".", false},
      {u"..", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(tvpack::installer_takes_folder_name(c.name), c.taken) << tv::u16_to_utf8(c.name);
}

TEST(SessionDoors, StartingOverLeavesTheBuiltInVariablesOnly) {
  InstallerSession session;
  std::set<std::string> built_in = tvpack::defined_variable_names(session);
  EXPECT_EQ(built_in.count("{Desktop}"), 1u);
  EXPECT_EQ(built_in.count("{Mine}"), 0u);
  session.define(u"{Mine}", u"{Desktop}\\mine");
  std::set<std::string> defined = tvpack::defined_variable_names(session);
  EXPECT_EQ(defined.size(), built_in.size() + 1);
  EXPECT_EQ(defined.count("{Mine}"), 1u);
  EXPECT_EQ(session.expand(u"{Mine}"), std::optional<std::u16string>(session.expand(u"{Desktop}").value() + u"\\mine"));
  session.start_over();
  EXPECT_FALSE(session.defines(u"{Mine}"));
  EXPECT_EQ(tvpack::defined_variable_names(session), built_in);
}

TEST(SessionDoors, ShellFoldersLastUntilTheSessionStartsOver) {
  InstallerSession session;
  std::optional<std::u16string> standard = session.expand(u"{Desktop}");
  session.use_shell_folders({{0, u"E:\\Elsewhere\\Desktop"}});
  EXPECT_EQ(session.expand(u"{Desktop}"), std::optional<std::u16string>(u"E:\\Elsewhere\\Desktop"));
  session.start_over();
  EXPECT_EQ(session.expand(u"{Desktop}"), standard);
}

// A script of these variables, one file (no bytes) and one shortcut record.
std::vector<uint8_t> paths_script(const std::vector<std::pair<std::u16string, std::u16string>>& vars,
                                  const std::u16string& file, const std::u16string& location) {
  tv::ScriptWriter w;
  w.put_int(1), w.put_int(int32_t(vars.size()));
  for (const auto& v : vars) w.put_string(v.first), w.put_string(v.second);
  w.put_int(1), w.put_string(file), w.put_int(0);
  w.put_string(u"icon\n{App}\\a.exe\n\n" + location);
  return w.take();
}

// Where a path starts is the installer's reading: a shell folder variable that holds
// its own folder, as the package's text uses it (through a variable of its own too);
// not a path written out literally, nor "{App}", nor a folder variable the package
// sets itself. The rest is the written path's after that folder's value.
TEST(SessionDoors, WhereAPathStartsIsTheInstallersReading) {
  const struct {
    std::vector<std::pair<std::u16string, std::u16string>> vars;
    std::u16string file, location;
    std::u16string file_named, shortcut_named;  // the written paths, named
  } cases[] = {
      {{}, u"{Desktop}\\a.txt", u"{Desktop}\\T", u"{Desktop}\\a.txt", u"{Desktop}\\T.lnk"},
      {{}, u"C:\\Users\\Tester\\Desktop\\a.txt", u"C:\\Users\\Tester\\Desktop\\T",
       u"C:\\Users\\Tester\\Desktop\\a.txt", u"C:\\Users\\Tester\\Desktop\\T.lnk"},
      {{{u"{Cfg}", u"{AppData}\\Dawn"}}, u"{Cfg}\\a.ini", u"{Cfg}\\T", u"{AppData}\\Dawn\\a.ini",
       u"{AppData}\\Dawn\\T.lnk"},
      {{}, u"{App}\\a", u"{App}\\T", u"D:\\Kesta\\a", u"D:\\Kesta\\T.lnk"},
      {{{u"{Desktop}", u"E:\\Mine"}}, u"{Desktop}\\a", u"{Desktop}\\T", u"E:\\Mine\\a", u"E:\\Mine\\T.lnk"},
      // The folder itself, however deep below another it lies.
      {{}, u"{Programs}\\G\\a", u"{Programs}\\G\\T", u"{Programs}\\G\\a", u"{Programs}\\G\\T.lnk"},
      {{}, u"{StartMenu}x\\a", u"{AppData}x\\T", u"{StartMenu}x\\a", u"{AppData}x\\T.lnk"},
      // A name Windows cannot hold does not change where its path starts.
      {{}, u"{Desktop}\\NUL", u"{Programs}\\T.", u"{Desktop}\\NUL", u"{Programs}\\T..lnk"},
      {{}, u"D:\\x\\{Desktop}", u"D:\\{Desktop}", u"D:\\x\\C:\\Users\\Tester\\Desktop",
       u"D:\\C:\\Users\\Tester\\Desktop.lnk"},
  };
  InstallerSession session;
  for (const auto& c : cases) {
    SCOPED_TRACE(tv::u16_to_utf8(c.file + u" " + c.location));
    std::vector<uint8_t> script = paths_script(c.vars, c.file, c.location);
    session.borrow_script(script);
    ASSERT_EQ(session.load(), "");
    tvpack::PathJudgement judged = session.judge_paths();
    ASSERT_TRUE(session.choose_folder(u"D:\\Kesta"));
    std::u16string file = session.expand(c.file).value(), link = session.expand(c.location).value() + u".lnk";
    EXPECT_EQ(judged.start(false, 0).named(file), c.file_named);
    EXPECT_EQ(judged.start(true, 0).named(link), c.shortcut_named);
    // named() is the folder and the rest; a record the check did not read is plain.
    tvpack::PathStart start = judged.start(false, 0);
    EXPECT_EQ(start.folder + start.rest(file), start.folder.empty() ? file : c.file_named);
    EXPECT_EQ(judged.start(false, 1).named(file), file);
    EXPECT_EQ(judged.start(true, 1).folder, u"");
    session.start_over();
  }
}

}  // namespace
