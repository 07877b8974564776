// Folder variables and the variables section: first and second reading.
#include "package/script.h"
#include "platform/standin/standin.h"
#include "support/test_support.h"
#include "variables/expand.h"
#include "variables/section.h"
#include "variables/table.h"

namespace {

using tvtest::InstallerTest;

std::string value_of(const char16_t* name) {
  const char16_t* const* v = tv::find_variable(name);
  if (v == nullptr) return "<absent>";
  return *v ? tvtest::utf8(*v) : "<null>";
}

class SectionTest : public InstallerTest {
 protected:
  // Loads a script with the given variables and reads it as start-up does.
  void load(const std::vector<std::pair<std::u16string, std::u16string>>& vars) {
    ASSERT_TRUE(load_script(tvtest::make_script(1, vars, {}, u"")));
    tv::set_folder_variables();
    tv::rewind_script_cursor();
    ASSERT_EQ(tv::check_script_version(), 1);
    tv::saved_cursor() = tv::script_cursor();
    ASSERT_EQ(tv::read_variables_section(tv::script_cursor(), 0), 1);
  }
  int second_reading() {
    tv::ScriptCursor copy = tv::saved_cursor();
    return tv::read_variables_section(copy, 1);
  }
};

TEST_F(SectionTest, FolderVariablesInTheirOrder) {
  tv::posix::set_special_folder(2, u"C:\\P");
  tv::set_folder_variables();
  EXPECT_EQ(value_of(u"{Empty}"), "");
  EXPECT_EQ(value_of(u"{Programs}"), "C:\\P");
  EXPECT_EQ(value_of(u"{Desktop}"), "C:\\Users\\Tester\\Desktop");
  EXPECT_EQ(value_of(u"{AppData}"), "C:\\Users\\Tester\\AppData\\Roaming");
  EXPECT_EQ(value_of(u"{CommonPrograms}"), "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs");
  EXPECT_EQ(tv::variable_count(), 6u);
}

TEST_F(SectionTest, FailedShellLookupGivesTheEmptyString) {
  tv::posix::set_special_folder(0, u"");
  tv::set_folder_variables();
  EXPECT_EQ(value_of(u"{Desktop}"), "");
  char16_t* r = tv::expand_variables(u"{Desktop}\\x");
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(tvtest::utf8(r), "\\x");
}

TEST_F(SectionTest, CountZeroDefinesNothing) {
  load({});
  EXPECT_EQ(tv::script_cursor().pos, tv::script_start() + 8);
  EXPECT_EQ(tv::variable_count(), 6u);
}

TEST_F(SectionTest, NegativeCountDefinesNothing) {
  tv::ScriptWriter w;
  w.put_int(1);
  w.put_int(-5);
  w.put_int(0);
  ASSERT_TRUE(load_script(w.bytes()));
  tv::rewind_script_cursor();
  ASSERT_EQ(tv::check_script_version(), 1);
  EXPECT_EQ(tv::read_variables_section(tv::script_cursor(), 0), 1);
  EXPECT_EQ(tv::script_cursor().pos, tv::script_start() + 8);
}

TEST_F(SectionTest, TitleAndDescriptionAreRawStrings) {
  load({{u"{AppName}", u"Talvenor {App}"}, {u"{AppVerName}", u"v1 {Nope"}});
  EXPECT_EQ(tvtest::utf8(tv::title_value()), "Talvenor {App}");
  EXPECT_EQ(tvtest::utf8(tv::description_value()), "v1 {Nope");
  EXPECT_EQ(value_of(u"{AppName}"), "<absent>");
  EXPECT_EQ(tv::expand_variables(u"{AppName}"), nullptr);
}

TEST_F(SectionTest, FirstAndSecondReading) {
  load({{u"{Exe}", u"{Dir}\\t.exe"},   // refers to a later variable
        {u"{App}", u"D:\\Kesta"},
        {u"{Dir}", u"{App}\\bin"},
        {u"{Link}", u"{Programs}\\Talvenor"},
        {u"{Bad}", u"{App"},
        {u"{Use}", u"[{Bad}]"}});
  EXPECT_EQ(value_of(u"{Exe}"), "<null>");
  EXPECT_EQ(value_of(u"{App}"), "D:\\Kesta");
  EXPECT_EQ(value_of(u"{Dir}"), "D:\\Kesta\\bin");
  EXPECT_EQ(value_of(u"{Link}"),
            "C:\\Users\\Tester\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Talvenor");
  EXPECT_EQ(value_of(u"{Bad}"), "<null>");
  EXPECT_EQ(value_of(u"{Use}"), "[]");
  tv::ScriptCursor files_at = tv::script_cursor();

  // The install sequence sets {App}, then reads the section again, skipping {App}.
  tv::variable_slot(u"{App}") = u"E:\\Chosen";
  EXPECT_EQ(second_reading(), 1);
  EXPECT_EQ(value_of(u"{App}"), "E:\\Chosen");
  EXPECT_EQ(value_of(u"{Dir}"), "E:\\Chosen\\bin");
  EXPECT_EQ(value_of(u"{Exe}"), "D:\\Kesta\\bin\\t.exe");  // the first reading's {Dir}
  EXPECT_EQ(tv::script_cursor().pos, files_at.pos);        // the shared cursor stays
  EXPECT_EQ(tv::saved_cursor().pos, tv::script_start() + 4);
}

TEST_F(SectionTest, LaterPairWinsAndKeysPointIntoTheScript) {
  load({{u"{X}", u"1"}, {u"{X}", u"2"}});
  EXPECT_EQ(value_of(u"{X}"), "2");
  const char16_t *name, *value;
  for (unsigned i = 0; tv::variable_at(i, &name, &value); ++i) {
    if (tvtest::utf8(name) == "{X}") {
      // The first pair's name string, right after the header and the count.
      EXPECT_EQ(reinterpret_cast<const uint8_t*>(name), tv::script_start() + 8);
    }
  }
}

TEST_F(SectionTest, TruncatedValueIsDamage) {
  tv::ScriptWriter w;
  w.put_int(1);
  w.put_int(2);
  w.put_string(u"{A}");
  w.put_string(u"1");
  w.put_string(u"{B}");  // no value follows
  ASSERT_TRUE(load_script(w.bytes()));
  tv::rewind_script_cursor();
  ASSERT_EQ(tv::check_script_version(), 1);
  EXPECT_EQ(tv::read_variables_section(tv::script_cursor(), 0), 0);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text, u"安装文件已损坏!");
}

}  // namespace
