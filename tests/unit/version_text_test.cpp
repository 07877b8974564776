// Reading one string of a version resource, as the loading window reads its caption:
// resources laid out as a resource compiler and the maker write them, and damaged ones.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/version_text.h"
#include "support/test_support.h"

namespace {

using tvtest::Bytes;
using tvtest::utf16z;
Bytes block(const std::u16string& key, const Bytes& value, size_t value_length, int type,
            const std::vector<Bytes>& children = {}) {
  return tvtest::version_block(key, value, value_length, type, children);
}

Bytes text(const std::u16string& name, const std::u16string& value) {
  return block(name, utf16z(value), value.size() + 1, 1);
}
Bytes strings(const std::vector<Bytes>& tables) {
  return block(u"StringFileInfo", {}, 0, 1, tables);
}
Bytes table(const std::vector<Bytes>& values) { return block(u"080404B0", {}, 0, 1, values); }
Bytes translation() {
  return block(u"VarFileInfo", {}, 0, 1, {block(u"Translation", {4, 8, 0xB0, 4}, 4, 0)});
}
Bytes resource(const std::vector<Bytes>& children) {
  return block(u"VS_VERSION_INFO", Bytes(52, 0xEE), 52, 0, children);
}

std::u16string find(const Bytes& r, size_t units = 260) {
  std::vector<char16_t> out(units, u'?');
  if (!tv::find_version_string(r.data(), r.size(), u"FileDescription", out.data(), units))
    return u"(none)";
  return out.data();
}

const Bytes kStubLike = resource({strings({table({text(u"FileDescription", u"Talvenor 安装程序"),
                                                  text(u"FileVersion", u"1.0.0")})}),
                                  translation()});

TEST(VersionText, TheValueOfTheFirstTableThatHasIt) {
  Bytes product = text(u"FileDescription", u"塔文诺 Talvenor 安装程序");
  Bytes odd = text(u"FileDescription", u"abc");  // its value ends off a 32-bit boundary
  struct Case {
    const char* what;
    Bytes resource;
    std::u16string want;
  } cases[] = {
      {"the stub's", kStubLike, u"Talvenor 安装程序"},
      {"translation first", resource({translation(), strings({table({product})})}),
       u"塔文诺 Talvenor 安装程序"},
      {"the second table's",
       resource({strings({table({text(u"ProductName", u"P")}), table({odd, product})})}), u"abc"},
      {"the first table's", resource({strings({table({product}), table({odd})})}),
       u"塔文诺 Talvenor 安装程序"},
      {"no NUL before the block's end",
       resource({strings({table({block(u"FileDescription", {'x', 0, 'y', 0}, 2, 1)})})}), u"xy"},
      {"a longer name", resource({strings({table({text(u"FileDescriptionX", u"x")})})}), u"(none)"},
      {"an empty value", resource({strings({table({text(u"FileDescription", u"")})})}), u"(none)"},
      {"no string table", resource({translation()}), u"(none)"},
  };
  for (const Case& k : cases) EXPECT_EQ(find(k.resource), k.want) << k.what;
  Bytes long_text = resource({strings({table({text(u"FileDescription", std::u16string(300, u'长'))})})});
  EXPECT_EQ(find(long_text, 301), std::u16string(300, u'长'));
  EXPECT_EQ(find(long_text, 300), u"(none)");  // no room for its NUL
}

// Cut anywhere, with the root's length cut to match (so that its blocks claim more
// than it holds), a resource gives the right text or none, and is never read past its
// end (an exact-size copy).
TEST(VersionText, ACutResourceGivesTheTextOrNone) {
  for (size_t size = 0; size < kStubLike.size(); ++size) {
    Bytes cut(kStubLike.begin(), kStubLike.begin() + size);
    if (size >= 2) {
      cut[0] = uint8_t(size);
      cut[1] = uint8_t(size >> 8);
    }
    std::u16string got = find(cut);
    EXPECT_TRUE(got == u"(none)" || got == u"Talvenor 安装程序") << size;
  }
}

}  // namespace
