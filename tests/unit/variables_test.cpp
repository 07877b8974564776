// The variable table's order and identity, and what the string pool promises callers.
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "base/text16.h"
#include "support/test_support.h"
#include "variables/pool.h"
#include "variables/table.h"

namespace {

using tvtest::InstallerTest;
using VariablesTest = InstallerTest;

TEST_F(VariablesTest, SettingTwiceKeepsTheFirstKeyAndTheLastValue) {
  char16_t first[] = u"{App}";
  char16_t second[] = u"{App}";
  tv::variable_slot(first) = u"one";
  tv::variable_slot(second) = u"two";
  ASSERT_EQ(tv::variable_count(), 1u);
  const char16_t *name, *value;
  ASSERT_TRUE(tv::variable_at(0, &name, &value));
  EXPECT_EQ(name, first);
  EXPECT_EQ(tvtest::utf8(value), "two");
}

TEST_F(VariablesTest, LookupIsOrdinalAndCaseSensitive) {
  tv::variable_slot(u"{App}") = u"x";
  EXPECT_EQ(tv::find_variable(u"{APP}"), nullptr);
  EXPECT_EQ(tv::find_variable(u"{app}"), nullptr);
  ASSERT_NE(tv::find_variable(u"{App}"), nullptr);
  EXPECT_EQ(tv::variable_count(), 1u);  // find_variable never inserts
}

TEST_F(VariablesTest, OrderIsByUnsignedUnitsWithPrefixesFirst) {
  const char16_t* names[] = {u"{b}", u"{B}", u"{a}", u"{", u"{\u00E9}", u"{\uFF01}", u"{ab"};
  for (const char16_t* n : names) tv::variable_slot(n) = u"";
  const char* expected[] = {"{", "{B}", "{ab", "{a}", "{b}", "{\xC3\xA9}", "{\xEF\xBC\x81}"};
  ASSERT_EQ(tv::variable_count(), 7u);
  for (unsigned i = 0; i < 7; ++i) {
    const char16_t *name, *value;
    ASSERT_TRUE(tv::variable_at(i, &name, &value));
    EXPECT_EQ(tvtest::utf8(name), expected[i]) << i;
  }
}

TEST_F(VariablesTest, SlotOfAnAbsentNameHoldsNull) {
  const char16_t*& slot = tv::variable_slot(u"{New}");
  EXPECT_EQ(slot, nullptr);
  const char16_t* const* found = tv::find_variable(u"{New}");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(*found, nullptr);
}

// Callers keep the pointers the pool gives them for the life of the process: every
// string is still there and unchanged after thousands more were pooled and the
// record array grew many times, each string is a copy of its own, and each is one
// record; freeing the pool then frees every one of them.
TEST_F(VariablesTest, PooledStringsOutliveThePoolsGrowth) {
  const uint32_t start = tv::pool_count();
  std::vector<std::u16string> texts;
  std::vector<const char16_t*> copies;
  for (int i = 0; i < 5000; ++i) {
    texts.push_back(std::u16string(size_t(i % 23), char16_t(u'a' + i % 26)) +
                    tv::utf8_to_u16(std::to_string(i)));
    copies.push_back(tv::pool_string(texts.back().c_str()));
    ASSERT_NE(copies.back(), nullptr);
    ASSERT_EQ(tv::pool_count(), start + i + 1);
  }
  EXPECT_GE(tv::pool_capacity(), tv::pool_count());
  std::set<const char16_t*> distinct(copies.begin(), copies.end());
  EXPECT_EQ(distinct.size(), copies.size());
  for (size_t i = 0; i < texts.size(); ++i) {
    ASSERT_EQ(std::u16string(copies[i]), texts[i]) << i;
  }
  tv::free_string_pool();
  EXPECT_EQ(tv::pool_count(), 0u);
  EXPECT_EQ(tv::pool_capacity(), 0u);
}

TEST_F(VariablesTest, PoolCopiesTextWithItsNul) {
  char16_t text[] = u"abc";
  char16_t* copy = tv::pool_string(text);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, text);
  EXPECT_EQ(std::memcmp(copy, text, sizeof text), 0);
  char16_t* empty = tv::pool_string(u"");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty[0], 0);
  EXPECT_EQ(tv::pool_string(nullptr), nullptr);
}

}  // namespace

