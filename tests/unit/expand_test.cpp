// Expanding "{Name}" tokens: results, failures and the 259-unit limits.
#include <cstring>

#include "support/test_support.h"
#include "variables/expand.h"
#include "variables/pool.h"
#include "variables/table.h"

namespace {

using tvtest::InstallerTest;

class ExpandTest : public InstallerTest {
 protected:
  void SetUp() override {
    InstallerTest::SetUp();
    tv::variable_slot(u"{App}") = u"D:\\Kesta";
    tv::variable_slot(u"{Desk}") = u"{Desktop}";
    tv::variable_slot(u"{Null}") = nullptr;
  }
  std::string expand(const std::u16string& t) {
    char16_t* r = tv::expand_variables(t.c_str());
    return r ? tvtest::utf8(r) : "<null>";
  }
};

TEST_F(ExpandTest, Results) {
  EXPECT_EQ(expand(u""), "");
  EXPECT_EQ(expand(u"plain}text"), "plain}text");
  EXPECT_EQ(expand(u"{App}\\Talvenor.exe"), "D:\\Kesta\\Talvenor.exe");
  EXPECT_EQ(expand(u"a{Null}b"), "ab");
  EXPECT_EQ(expand(u"{Desk}\\x"), "{Desktop}\\x");  // values are not expanded again
  EXPECT_EQ(expand(u"{App}{App}"), "D:\\KestaD:\\Kesta");
}

TEST_F(ExpandTest, Failures) {
  EXPECT_EQ(tv::expand_variables(nullptr), nullptr);
  EXPECT_EQ(expand(u"{App"), "<null>");
  EXPECT_EQ(expand(u"x{"), "<null>");
  EXPECT_EQ(expand(u"{Unknown} and text"), "<null>");
  EXPECT_EQ(expand(u"{APP}"), "<null>");
  EXPECT_EQ(expand(u"{}"), "<null>");  // looks up the name "{}"
}

TEST_F(ExpandTest, TokenRunsToTheFirstClosingBrace) {
  tv::variable_slot(u"{a{b}") = u"X";
  tv::variable_slot(u"{}") = u"E";
  EXPECT_EQ(expand(u"{a{b}}"), "X}");
  EXPECT_EQ(expand(u"<{}>"), "<E>");
}

TEST_F(ExpandTest, EveryCallPoolsANewString) {
  uint32_t before = tv::pool_count();
  char16_t* a = tv::expand_variables(u"{App}");
  char16_t* b = tv::expand_variables(u"{App}");
  EXPECT_NE(a, b);
  EXPECT_EQ(tv::pool_count(), before + 2);
  tv::expand_variables(u"{Unknown}");
  EXPECT_EQ(tv::pool_count(), before + 2);  // a failure pools nothing
}

TEST_F(ExpandTest, LengthLimits) {
  std::u16string t259(259, u'a');
  EXPECT_EQ(expand(t259).size(), 259u);
  EXPECT_EQ(expand(t259 + u"a"), "<null>");
  // A value that pushes the result past 259 units.
  std::u16string long_value(250, u'v');
  tv::variable_slot(u"{Long}") = long_value.c_str();
  EXPECT_EQ(expand(u"123456789{Long}").size(), 259u);
  EXPECT_EQ(expand(u"1234567890{Long}"), "<null>");
  // A token of 259 units with its braces fits the name buffer; 260 does not.
  std::u16string name257(257, u'n');
  std::u16string token = u"{" + name257 + u"}";
  tv::variable_slot(token.c_str()) = u"ok";
  EXPECT_EQ(expand(token), "ok");
  EXPECT_EQ(expand(u"{" + name257 + u"n}"), "<null>");
}

TEST_F(ExpandTest, TemplatesAtOddAddressesExpand) {
  std::vector<uint8_t> bytes(64, 0);
  std::u16string t = u"{App}\\x";
  std::memcpy(bytes.data() + 1, t.data(), 2 * t.size());
  char16_t* r = tv::expand_variables(reinterpret_cast<const char16_t*>(bytes.data() + 1));
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(tvtest::utf8(r), "D:\\Kesta\\x");
}

}  // namespace

namespace {

// The verdict of an expansion: the first fault met, left to right, and for a variable
// it does not know, which token.
TEST_F(ExpandTest, VerdictsSayWhatAndWhere) {
  using F = tv::ExpandFault;
  const std::u16string long_text(252, u'x');  // with {App}, 260 units
  struct Case {
    std::u16string templ;
    F fault;
    size_t at, units;
  } cases[] = {
      {u"{App}\\a", F::kNone, 0, 0},          {u"{Null}{App}", F::kNone, 0, 0},
      {u"a{App", F::kUnclosed, 1, 0},         {u"{App}\\{Nope}\\{X", F::kUnknown, 6, 6},
      {u"{App}{Kesta}", F::kUnknown, 5, 7},   {u"x{}", F::kUnknown, 1, 2},
      {u"{" + std::u16string(259, u'n') + u"}", F::kUnknown, 0, 261},
      {long_text + u"{App}", F::kTooLong, 0, 0}, {long_text + u"{App}{Nope}", F::kTooLong, 0, 0},
      {std::u16string(259, u'y'), F::kNone, 0, 0}, {std::u16string(260, u'y'), F::kTooLong, 0, 0},
  };
  for (const Case& c : cases) {
    char16_t out[tv::kMaxPath];
    tv::ExpandVerdict v = tv::judge_expansion(c.templ.c_str(), out);
    EXPECT_EQ(v.fault, c.fault) << tvtest::utf8(c.templ.c_str());
    EXPECT_EQ(v.at, c.at) << tvtest::utf8(c.templ.c_str());
    EXPECT_EQ(v.units, c.units) << tvtest::utf8(c.templ.c_str());
    EXPECT_EQ(tv::expand_variables(c.templ.c_str()) != nullptr, c.fault == F::kNone);
  }
  EXPECT_EQ(tv::judge_expansion(nullptr, nullptr).fault, F::kNull);
}

}  // namespace
