// Patience with brief locks before the boxes that ask the user.
#include "actions/quiet_retry.h"

#include "base/file_error.h"
#include "platform/platform.h"

namespace tv {

bool retry_quietly(uint32_t error, uint32_t elapsed_ms) {
  return classify_file_error(error) == FileError::kLocked && elapsed_ms < kQuietRetryMs;
}

bool attempt_patiently(bool (*attempt)(void* context, uint32_t* error), void* context) {
  uint32_t start = milliseconds();
  for (;;) {
    uint32_t error = 0;
    if (attempt(context, &error)) return true;
    if (!retry_quietly(error, milliseconds() - start)) return false;
    pause_milliseconds(kQuietPauseMs);
  }
}

}  // namespace tv
