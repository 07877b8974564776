// When the loading window is due: a decision of the elapsed time and the position so
// far alone, so that it is tested as it is and the window only does what it says.
#pragma once
#include <cstdint>

#include "base/progress_sink.h"

namespace tv {

constexpr uint32_t kLoadingShowAfterMs = 300;  // loading this long earns a window...
constexpr uint32_t kLoadingLeastLeftMs = 100;  // ...unless it is about to end anyway

// 300 ms of loading (elapsed) earn the window, unless at the pace so far less than
// 100 ms are left: a window that would be gone again at once is only a flash.
// position is below kProgressFull.
inline bool loading_window_due(uint32_t elapsed, unsigned position) {
  if (elapsed < kLoadingShowAfterMs) return false;
  return position == 0 || elapsed * (kProgressFull - 1 - position) >= kLoadingLeastLeftMs * position;
}

}  // namespace tv
