// The rules for names Windows cannot hold and for folders it cannot use as typed,
// each over one table.
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

TEST(PathRulesTest, FoldersWindowsCanUseAsTyped) {
  using F = tv::FolderFault;
  struct Case {
    std::u16string folder;
    F fault;
    size_t root;           // kNone and kRoot
    std::u16string name;   // kBadName: the name named
  } cases[] = {
      {u"D:\\Kesta\u597D", F::kNone, 2, u""},
      {u"D:\\a b\\c", F::kNone, 2, u""},
      {u"d:\\Kesta_\u65E7\u7248\u672C1", F::kNone, 2, u""},
      {u"\\\\server\\share\\app", F::kNone, 14, u""},
      {u"D:\\.Kesta\\x.y", F::kNone, 2, u""},
      {u"Kesta", F::kNotFull, 0, u""},
      {u"\\Kesta", F::kNotFull, 0, u""},
      {u"C:Kesta", F::kNotFull, 0, u""},
      {u"\\\\server", F::kNotFull, 0, u""},
      {u" D:\\Kesta", F::kBadCharacter, 0, u""},  // its colon is no drive's
      {u"C:", F::kRoot, 2, u""},
      {u"\\\\server\\share", F::kRoot, 14, u""},
      {u"D:\\a|b", F::kBadCharacter, 0, u""},
      {u"D:\\a<b", F::kBadCharacter, 0, u""},
      {u"D:\\a>b", F::kBadCharacter, 0, u""},
      {u"D:\\a\"b", F::kBadCharacter, 0, u""},
      {u"D:\\what?", F::kBadCharacter, 0, u""},
      {u"D:\\*", F::kBadCharacter, 0, u""},
      {u"D:\\a/b", F::kBadCharacter, 0, u""},
      {u"D:\\a:b", F::kBadCharacter, 0, u""},
      {u"D:\\a\tb", F::kBadCharacter, 0, u""},
      {u"D:\\a\x1F" u"b", F::kBadCharacter, 0, u""},
      {u"1:\\Kesta", F::kBadCharacter, 0, u""},
      {u"\\\\?\\D:\\Kesta", F::kBadCharacter, 0, u""},
      {u"D:\\NUL", F::kBadName, 2, u"NUL"},
      {u"D:\\Kesta\\com1.txt\\x", F::kBadName, 2, u"com1.txt"},
      {u"D:\\Kesta.", F::kBadName, 2, u"Kesta."},
      {u"D:\\Kesta \\x", F::kBadName, 2, u"Kesta "},
      {u"D:\\a\\.\\b", F::kBadName, 2, u"."},
      {u"D:\\a\\..", F::kBadName, 2, u".."},
      {u"D:\\a\\\\b", F::kBadName, 2, u""},
      {u"\\\\.\\pipe\\x", F::kBadName, 8, u"."},
      {u"\\\\server\\AUX\\x", F::kBadName, 12, u"AUX"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(tvtest::utf8(c.folder.c_str()));
    tv::FolderShape shape = tv::judge_folder(c.folder.c_str());
    EXPECT_EQ(shape.fault, c.fault);
    if (c.fault == F::kNone || c.fault == F::kRoot || c.fault == F::kBadName) {
      EXPECT_EQ(shape.root, c.root);
    }
    if (c.fault == F::kBadName) {
      EXPECT_EQ(c.folder.substr(shape.name_at, shape.name_units), c.name);
    }
  }
}

// A folder name's verdict says what keeps it from being the product's folder, and for
// a unit no name may hold, which unit: the first of them.
TEST(PathRulesTest, FolderNameVerdicts) {
  using F = tv::NameFault;
  struct Case {
    std::u16string name;
    F fault;
    size_t at;
  } cases[] = {
      {u"Kesta", F::kNone, 0},           {u"K\u00E9sta 2.0", F::kNone, 0},   {u"", F::kEmpty, 0},
      {std::u16string(255, u'k'), F::kNone, 0}, {std::u16string(256, u'k'), F::kTooLong, 0},
      {u"a\\b", F::kSeparator, 1},      {u"a/b", F::kSeparator, 1},        {u"ab<c\\d", F::kForbidden, 2},
      {u"a\\b<", F::kSeparator, 1},     {u"x\x1F", F::kForbidden, 1},     {u"a:b", F::kForbidden, 1},
      {u".", F::kCannotHold, 0},         {u"..", F::kCannotHold, 0},         {u"...", F::kCannotHold, 0},
      {u"CON", F::kCannotHold, 0},       {u"nul.txt", F::kCannotHold, 0},    {u"Kesta ", F::kCannotHold, 0},
      {u"COM\u00B9", F::kCannotHold, 0}, {u"COM10", F::kNone, 0},            {u".git", F::kNone, 0},
  };
  for (const Case& c : cases) {
    tv::NameVerdict v = tv::judge_folder_name(c.name.data(), c.name.size());
    EXPECT_EQ(v.fault, c.fault) << tvtest::utf8(c.name.c_str());
    EXPECT_EQ(v.at, c.at) << tvtest::utf8(c.name.c_str());
    EXPECT_EQ(tv::is_folder_name(c.name.data(), c.name.size()), c.fault == F::kNone);
  }
}

TEST(PathRulesTest, FolderHolds) {
  struct Case {
    std::u16string folder, inner;
    bool holds;
  } cases[] = {
      {u"C:\\Users\\me", u"C:\\Users\\me\\Documents", true},
      {u"c:\\users\\ME\\documents", u"C:\\Users\\me\\Documents", true},
      {u"C:\\Users\\\u00E9mile", u"C:\\USERS\\\u00C9MILE\\Desktop", true},
      {u"C:\\Users\\\u0438\u0432\u0430\u043D", u"C:\\Users\\\u0418\u0412\u0410\u041D", true},
      {u"C:\\Users\\me", u"C:\\Users\\me\\", true},
      {u"C:\\Users\\me\\Documents\\Kesta", u"C:\\Users\\me\\Documents", false},
      {u"C:\\Users\\m", u"C:\\Users\\me", false},
      {u"C:\\Users\\me2", u"C:\\Users\\me", false},
      {u"D:\\Users\\me", u"C:\\Users\\me", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(tv::folder_holds(c.folder.c_str(), c.inner.c_str()), c.holds)
        << tvtest::utf8(c.folder.c_str()) << " / " << tvtest::utf8(c.inner.c_str());
}

}  // namespace
