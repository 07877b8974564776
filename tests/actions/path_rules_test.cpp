// The rule for names Windows cannot hold, over one table of names.
#include "actions/path_rules.h"

#include <cstring>
#include <vector>

#include "support/test_support.h"

namespace {

TEST(PathRulesTest, NamesWindowsCannotHold) {
  struct Case {
    std::u16string name;
    bool refused;
  } cases[] = {
      {u"COM10", false},     {u"CONX", false},          {u"con .txt", true},
      {u"Nul", true},        {u"COM\u00B9.txt", true},  {u"lpt\u00B3", true},
      {u"COM\u2074", false}, {u"a.", true},             {u"a ", true},
      {u"..", false},        {u".", false},             {u"...", true},
      {u" .", true},         {u"CONIN$", true},         {u"conout$.log", true},
      {u"CONIN", false},     {u"LPT9", true},           {u"com0.x", true},
      {u"COM", false},       {u"AUX.tar.gz", true},     {u"aux_", false},
      {u"PRN  .txt", true},  {u".nul", false},          {u"", false},
      {u"readme.txt", false}, {u"\u8BF4\u660E.", true},
  };
  for (const Case& c : cases) {
    // At an odd byte offset too, as names in the install script may be.
    std::vector<char> odd(2 * c.name.size() + 1);
    std::memcpy(odd.data() + 1, c.name.data(), 2 * c.name.size());
    const char16_t* at_odd = reinterpret_cast<const char16_t*>(odd.data() + 1);
    EXPECT_EQ(tv::windows_cannot_hold(c.name.data(), c.name.size()), c.refused)
        << tvtest::utf8(c.name.c_str());
    EXPECT_EQ(tv::windows_cannot_hold(at_odd, c.name.size()), c.refused);
  }
}

}  // namespace
