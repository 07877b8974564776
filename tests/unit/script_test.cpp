// The script cursor: version check, primitives at any offset, and bounds.
#include "package/script.h"
#include "platform/platform.h"
#include "support/test_support.h"
#include "variables/section.h"
#include "variables/table.h"

namespace {

using tvtest::InstallerTest;

class ScriptTest : public InstallerTest {
 protected:
  int check_version_of(int32_t version) {
    tv::ScriptWriter w;
    w.put_int(version);
    w.put_int(0);
    EXPECT_TRUE(load_script(w.bytes()));
    tv::rewind_script_cursor();
    return tv::check_script_version();
  }
};

TEST_F(ScriptTest, VersionsUpToOneAreAccepted) {
  for (int32_t v : {0, 1, -1, INT32_MIN}) {
    SCOPED_TRACE(v);
    EXPECT_EQ(check_version_of(v), 1);
    EXPECT_EQ(tv::script_cursor().pos, tv::script_start() + 4);
  }
  EXPECT_TRUE(messages_.empty());
}

TEST_F(ScriptTest, NewerVersionIsRefusedWithItsMessage) {
  EXPECT_EQ(check_version_of(2), 0);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text, u"安装程序版本好错误!");
  EXPECT_EQ(messages_[0].caption, u"安装失败");
  EXPECT_EQ(messages_[0].type, tv::kMbIconError);
  EXPECT_EQ(tv::script_cursor().pos, tv::script_start() + 4);  // moved whatever V is
}

TEST_F(ScriptTest, PrimitivesReadAtOddOffsets) {
  tv::ScriptWriter w;
  w.put_bytes("x", 1);
  w.put_string(u"ab\u4E2D");
  w.put_int(-2);
  w.put_bytes("yz", 2);
  w.put_int(0x01020304);
  ASSERT_TRUE(load_script(w.bytes()));
  tv::ScriptCursor c = tv::script_cursor();
  ASSERT_TRUE(tv::skip_bytes(c, 1));
  char16_t* s = nullptr;
  ASSERT_TRUE(tv::read_string(c, &s));
  EXPECT_EQ(reinterpret_cast<uint8_t*>(s), tv::script_start() + 1);
  EXPECT_EQ(tvtest::utf8(s), "ab\xE4\xB8\xAD");
  int32_t v = 0;
  ASSERT_TRUE(tv::read_int(c, &v));
  EXPECT_EQ(v, -2);
  ASSERT_TRUE(tv::skip_bytes(c, 2));
  ASSERT_TRUE(tv::read_int(c, &v));
  EXPECT_EQ(v, 0x01020304);
  EXPECT_EQ(c.pos, c.end);
  EXPECT_TRUE(messages_.empty());
}

TEST_F(ScriptTest, ReadsPastTheEndAreDamage) {
  tv::ScriptWriter w;
  w.put_bytes("\x41\x00\x42", 3);  // "A" then half a unit: no NUL before the end
  ASSERT_TRUE(load_script(w.bytes()));
  tv::ScriptCursor c = tv::script_cursor();
  char16_t* s = nullptr;
  int32_t v = 0;
  EXPECT_FALSE(tv::read_string(c, &s));
  EXPECT_FALSE(tv::read_int(c, &v));
  EXPECT_FALSE(tv::skip_bytes(c, 4));
  EXPECT_TRUE(tv::skip_bytes(c, 3));
  EXPECT_FALSE(tv::skip_bytes(c, 1));
  EXPECT_EQ(c.pos, tv::script_start() + 3);
  ASSERT_EQ(messages_.size(), 4u);
  for (const auto& m : messages_) EXPECT_EQ(m.text, u"安装文件已损坏!");
}

TEST_F(ScriptTest, NulMustStartOnAUnitBoundary) {
  // 'A' 0x00 | 0x00 'B' : the zero bytes straddle two units, so there is no NUL unit.
  tv::ScriptWriter w;
  w.put_bytes("A\0\0B", 4);
  ASSERT_TRUE(load_script(w.bytes()));
  tv::ScriptCursor c = tv::script_cursor();
  char16_t* s = nullptr;
  EXPECT_FALSE(tv::read_string(c, &s));
}

TEST_F(ScriptTest, TruncatedScriptsAreRefusedAtEverySection) {
  std::vector<std::pair<std::u16string, std::u16string>> vars = {{u"{App}", u"D:\\Kesta"},
                                                                  {u"{AppName}", u"T"}};
  std::vector<uint8_t> full = tvtest::make_script(1, vars, {}, u"");
  size_t vars_end = full.size() - 4 - 2;  // less the empty files and shortcuts sections
  // Every strict prefix of the header and variables section is refused cleanly.
  for (size_t len = 0; len < vars_end; ++len) {
    SCOPED_TRACE(len);
    messages_.clear();
    tv::clear_variable_table();
    std::vector<uint8_t> cut(full.begin(), full.begin() + len);
    ASSERT_TRUE(load_script(cut));
    tv::rewind_script_cursor();
    int ok = tv::check_script_version();
    if (ok) ok = tv::read_variables_section(tv::script_cursor(), 0);
    EXPECT_EQ(ok, 0);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, u"安装文件已损坏!");
  }
}

}  // namespace
