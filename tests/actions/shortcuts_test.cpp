// The shortcuts section over a real temporary folder. The stand-in saves a
// shortcut as a text file "target=..\nargs=..\nshow=..\n".
#include "actions/files.h"
#include "actions/shortcuts.h"
#include "actions_fixture.h"

namespace {

using tvtest::Message;

std::string link_text(const std::string& target, const std::string& args) {
  return "target=" + target + "\nargs=" + args + "\nshow=1\n";
}

// In the script the shortcuts string is followed by another string, which no
// record may reach into.
const std::u16string kBeyond = u"icon\nD:\\t.exe\n\nD:\\Beyond";

class ShortcutsTest : public tvtest::ActionsTest {
 protected:
  // Loads a package whose shortcuts section is text and runs it; the cursor must end
  // on the string after it.
  void run(const std::u16string& text) {
    std::vector<uint8_t> script =
        tvtest::make_script(1, {{u"{App}", u"D:\\Kesta"}}, {}, text);
    tv::ScriptWriter after;
    after.put_string(kBeyond);
    script.insert(script.end(), after.bytes().begin(), after.bytes().end());
    start(script);
    ASSERT_EQ(tv::extract_files(), 1);
    EXPECT_EQ(tv::create_shortcuts(), 1);
    EXPECT_EQ(offset(), script.size() - after.bytes().size());
    EXPECT_FALSE(host_exists(u"D:\\Beyond.lnk"));
  }
};

TEST_F(ShortcutsTest, RecordsAmongOtherText) {
  run(u"some text\n"
      u"icon\n{App}\\t.exe\n\n{Desktop}\\Talvenor\n"
      u"between\nicon!\n"
      u"icon\n{App}\\u.exe\n--dir \"{App}\"\n{Programs}\\Talvenor Group\\Uninstall");
  EXPECT_EQ(read_host_file(u"C:\\Users\\Tester\\Desktop\\Talvenor.lnk"),
            link_text("D:\\Kesta\\t.exe", ""));
  EXPECT_EQ(read_host_file(u"C:\\Users\\Tester\\AppData\\Roaming\\Microsoft\\Windows\\"
                           u"Start Menu\\Programs\\Talvenor Group\\Uninstall.lnk"),
            link_text("D:\\Kesta\\u.exe", "--dir \"D:\\Kesta\""));
  EXPECT_TRUE(messages_.empty());
}

TEST_F(ShortcutsTest, LineEdgeCases) {
  struct Case {
    const char* what;
    std::u16string text;
    std::vector<std::pair<std::u16string, std::string>> made;
    std::vector<std::u16string> absent;
  } cases[] = {
      {"CR ends no marker", u"icon\r\nD:\\t.exe\n\nD:\\Cr1", {}, {u"D:\\Cr1.lnk"}},
      {"CR stays in a line", u"icon\nD:\\t.exe\n-x\r\nD:\\Cr2",
       {{u"D:\\Cr2.lnk", link_text("D:\\t.exe", "-x\r")}}, {}},
      {"two markers in a row", u"icon\nicon\n-a\nD:\\Two\nD:\\Wrong",
       {{u"D:\\Two.lnk", link_text("icon", "-a")}}, {u"D:\\Wrong.lnk"}},
      {"location without backslash", u"icon\nD:\\t.exe\n\nBare\nicon\nD:\\t.exe\n\nD:\\Next",
       {{u"D:\\Next.lnk", link_text("D:\\t.exe", "")}}, {u"Bare.lnk"}},
      {"lines that do not expand",
       u"icon\n{Nope}\n\nD:\\S1\nicon\nD:\\t.exe\n{App\nD:\\S2\nicon\nD:\\t.exe\n\n{X}\\S3\n"
       u"icon\nD:\\t.exe\n\nD:\\Kept",
       {{u"D:\\Kept.lnk", link_text("D:\\t.exe", "")}}, {u"D:\\S1.lnk", u"D:\\S2.lnk"}},
      {"marker among the last three lines", u"D:\\x\nicon\nD:\\t.exe\n-a", {}, {}},
      {"marker last", u"icon", {}, {}},
      {"empty text", u"", {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    run(c.text);
    for (const auto& m : c.made) EXPECT_EQ(read_host_file(m.first), m.second);
    for (const auto& a : c.absent) EXPECT_FALSE(host_exists(a));
  }
}

TEST_F(ShortcutsTest, OnlyTheFirst1024LinesAreRead) {
  std::u16string filler;
  for (int i = 0; i < 1020; ++i) filler += u"line\n";
  // Lines 1020..1023 hold a whole record; the next record starts past the table.
  run(filler + u"icon\nD:\\t.exe\n\nD:\\Line1023\nicon\nD:\\t.exe\n\nD:\\Late");
  EXPECT_EQ(read_host_file(u"D:\\Line1023.lnk"), link_text("D:\\t.exe", ""));
  EXPECT_FALSE(host_exists(u"D:\\Late.lnk"));
  // A marker on line 1021 has its location on line 1024, which is not read.
  run(filler + u"x\nicon\nD:\\t.exe\n\nD:\\Cut\nmore\nlines");
  EXPECT_FALSE(host_exists(u"D:\\Cut.lnk"));
}

TEST_F(ShortcutsTest, ShortcutFileNameMustFit260Units) {
  // "D:\F" "\" name ".lnk": a 250-unit name makes 259 units, 251 makes 260.
  run(u"icon\nD:\\t.exe\n\nD:\\F\\" + std::u16string(250, u'n') + u"\nicon\nD:\\t.exe\n\nD:\\G\\" +
      std::u16string(251, u'n'));
  EXPECT_TRUE(host_exists(u"D:\\F\\" + std::u16string(250, u'n') + u".lnk"));
  EXPECT_TRUE(host_exists(u"D:\\G"));  // the folder is made before the name is checked
  EXPECT_FALSE(host_exists(u"D:\\G\\" + std::u16string(251, u'n') + u".lnk"));
}

TEST_F(ShortcutsTest, StringPastTheEndIsDamage) {
  tv::ScriptWriter w;
  w.put_int(1);
  w.put_int(0);
  w.put_int(0);
  w.put_bytes("i\0c\0o", 5);
  start(w.bytes());
  ASSERT_EQ(tv::extract_files(), 1);
  EXPECT_EQ(tv::create_shortcuts(), 0);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_TRUE(is_damage_report(messages_[0]));
}

}  // namespace
