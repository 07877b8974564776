// The variable table's order and identity, and the string pool's growth.
#include <cstring>

#include "support/test_support.h"
#include "variables/pool.h"
#include "variables/table.h"

// The capacities from an empty pool: defined first, so it runs before any other test
// of this process has pooled a string.
TEST(PoolFromEmpty, CapacitiesRunOneTwoThreeSixSevenFourteen) {
  if (tv::pool_count() != 0) GTEST_SKIP() << "pool already used in this process";
  std::vector<uint32_t> caps;
  for (int i = 0; i < 16; ++i) {
    tv::pool_string(u"");
    caps.push_back(tv::pool_capacity());
  }
  EXPECT_EQ(caps, (std::vector<uint32_t>{1, 2, 3, 6, 6, 6, 7, 14, 14, 14, 14, 14, 14, 14, 15, 30}));
}

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

TEST_F(VariablesTest, PoolGrowsOneRecordAtATime) {
  // The pool lives for the whole process; measure growth from where it stands.
  uint32_t start = tv::pool_count();
  uint32_t cap = tv::pool_capacity();
  ASSERT_LE(start, cap);
  for (int i = 0; i < 40; ++i) {
    ASSERT_NE(tv::pool_string(u"s"), nullptr);
    uint32_t count = tv::pool_count();
    EXPECT_EQ(count, start + i + 1);
    if (count > cap) {
      // grows to (old capacity | 1) doubled until it fits
      uint32_t c = cap | 1;
      while (c < count) c *= 2;
      EXPECT_EQ(tv::pool_capacity(), c);
      cap = c;
    } else {
      EXPECT_EQ(tv::pool_capacity(), cap);
    }
  }
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

