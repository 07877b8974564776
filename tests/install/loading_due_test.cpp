// When the loading window is due: not before 300 ms, and not when at the pace so far
// less than 100 ms are left (a flash), whatever the host's speed.
#include <gtest/gtest.h>

#include "install/loading_due.h"

namespace {

TEST(LoadingWindow, IsDueAfter300MsUnlessItWouldOnlyFlash) {
  struct Case {
    uint32_t elapsed;
    unsigned position;
    bool due;
  };
  const Case cases[] = {
      {0, 0, false},      {299, 0, false},   {299, 1, false},  {300, 0, true},   {300, 1, true},
      // 300 ms for 50 of 99 positions: about 294 ms left.
      {300, 50, true},
      // 300 ms for 75: 24 positions left take 96 ms, under 100: a flash.
      {300, 75, false},
      // 300 ms for 74: 25 positions take 101 ms.
      {300, 74, true},    {400, 79, true},   {400, 80, false}, {10000, 98, true}, {300, 98, false},
      {4000000000u, 98, true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(tv::loading_window_due(c.elapsed, c.position), c.due) << c.elapsed << " ms, position " << c.position;
}

}  // namespace
