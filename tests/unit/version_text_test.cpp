// Reading one string of a version resource, as the loading window reads its caption:
// resources laid out as a resource compiler and the maker write them, and damaged ones.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/version_text.h"

namespace {

using Bytes = std::vector<uint8_t>;

void put16_at(Bytes& b, size_t at, size_t v) {
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}

void append_text(Bytes& b, const std::u16string& text) {
  for (char16_t c : text + u'\0') {
    b.push_back(uint8_t(c));
    b.push_back(uint8_t(c >> 8));
  }
}

// One block: length, value length, type, key, then the value and each child at the
// next 32-bit boundary (a block starts at one).
Bytes block(const std::u16string& key, const Bytes& value, size_t value_length, int type,
            const std::vector<Bytes>& children = {}) {
  Bytes b(6);
  append_text(b, key);
  while (b.size() % 4) b.push_back(0);
  b.insert(b.end(), value.begin(), value.end());
  for (const Bytes& child : children) {
    while (b.size() % 4) b.push_back(0);
    b.insert(b.end(), child.begin(), child.end());
  }
  put16_at(b, 0, b.size());
  put16_at(b, 2, value_length);
  put16_at(b, 4, size_t(type));
  return b;
}

Bytes text_value(const std::u16string& name, const std::u16string& value) {
  Bytes v;
  append_text(v, value);
  return block(name, v, value.size() + 1, 1);
}
Bytes table(const std::u16string& id, const std::vector<Bytes>& values) {
  return block(id, {}, 0, 1, values);
}
Bytes string_info(const std::vector<Bytes>& tables) { return block(u"StringFileInfo", {}, 0, 1, tables); }
Bytes var_info() {
  return block(u"VarFileInfo", {}, 0, 1, {block(u"Translation", {0x04, 0x08, 0xB0, 0x04}, 4, 0)});
}
// The root, with a fixed part of 52 bytes as its value.
Bytes resource(const std::vector<Bytes>& children) {
  Bytes fixed(52, 0);
  fixed[0] = 0xBD;
  fixed[1] = 0x04;
  fixed[2] = 0xEF;
  fixed[3] = 0xFE;
  return block(u"VS_VERSION_INFO", fixed, fixed.size(), 0, children);
}

std::u16string find(const Bytes& r, const char16_t* key = u"FileDescription", size_t units = 260) {
  std::vector<char16_t> out(units, u'?');
  if (!tv::find_version_string(r.data(), r.size(), key, out.data(), units)) return u"(none)";
  return out.data();
}

// What the stub carries: one table in Chinese (Simplified), then the translation.
Bytes stub_like() {
  return resource({string_info({table(u"080404B0", {text_value(u"FileDescription", u"Talvenor 安装程序"),
                                                    text_value(u"FileVersion", u"1.0.0")})}),
                   var_info()});
}

TEST(VersionText, TheValueOfTheFirstTableThatHasIt) {
  Bytes product = text_value(u"FileDescription", u"塔文诺 Talvenor 安装程序");
  Bytes odd = text_value(u"FileDescription", u"abc");  // its value ends off a 32-bit boundary
  Bytes unterminated = block(u"FileDescription", {'x', 0, 'y', 0}, 2, 1);
  struct Case {
    const char* what;
    Bytes resource;
    std::u16string want;
  } cases[] = {
      {"the stub's", stub_like(), u"Talvenor 安装程序"},
      {"translation first", resource({var_info(), string_info({table(u"080404B0", {product})})}),
       u"塔文诺 Talvenor 安装程序"},
      {"in the second table only",
       resource({string_info({table(u"040904B0", {text_value(u"ProductName", u"P")}),
                              table(u"080404B0", {odd, product})})}),
       u"abc"},
      {"the first table's of two",
       resource({string_info({table(u"040904B0", {product}), table(u"080404B0", {odd})})}),
       u"塔文诺 Talvenor 安装程序"},
      {"a value without its NUL ends with its block", resource({string_info({table(u"0", {unterminated})})}),
       u"xy"},
      {"only a longer name", resource({string_info({table(u"0", {text_value(u"FileDescriptionX", u"x")})})}),
       u"(none)"},
      {"an empty value", resource({string_info({table(u"0", {text_value(u"FileDescription", u"")})})}),
       u"(none)"},
      {"no string table", resource({var_info()}), u"(none)"},
      {"nothing at all", {}, u"(none)"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    EXPECT_EQ(find(k.resource), k.want);
  }
  EXPECT_EQ(find(stub_like(), u"FileVersion"), u"1.0.0");
}

TEST(VersionText, ATextLongerThanTheBufferIsRefused) {
  std::u16string long_text(300, u'长');
  Bytes r = resource({string_info({table(u"0", {text_value(u"FileDescription", long_text)})})});
  EXPECT_EQ(find(r, u"FileDescription", 301), long_text);
  EXPECT_EQ(find(r, u"FileDescription", 300), u"(none)");
}

// Cut anywhere, or with a block length that claims more than its parent holds or
// less than a block needs, a resource gives the right text or none, and is never read
// past its end (an exact-size copy).
TEST(VersionText, DamagedResourcesGiveTheTextOrNone) {
  const Bytes whole = stub_like();
  for (size_t size = 0; size < whole.size(); ++size) {
    Bytes cut(whole.begin(), whole.begin() + size);
    std::u16string got = find(cut);
    EXPECT_TRUE(got == u"(none)" || got == u"Talvenor 安装程序") << size;
  }
  const size_t info = 92, table = info + 36, text = table + 24;  // where the blocks start
  ASSERT_EQ(whole[info + 6], 'S');
  ASSERT_EQ(whole[table + 6], '0');
  ASSERT_EQ(whole[text + 6], 'F');
  struct Case {
    size_t at, length;
  } cases[] = {{0, whole.size() + 2}, {0, 5},         {info, whole.size()},
               {table, whole.size()}, {text, 0x7FFF}, {text, 6}};
  for (const Case& k : cases) {
    SCOPED_TRACE(std::to_string(k.at) + ": " + std::to_string(k.length));
    Bytes damaged = whole;
    put16_at(damaged, k.at, k.length);
    EXPECT_EQ(find(damaged), u"(none)");
  }
}

}  // namespace
