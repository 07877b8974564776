// The bar's arithmetic, shared by loading and by the files step.
#include "base/progress_sink.h"

namespace tv {

// Both numbers are halved until the total fits 24 bits, so that the product below
// fits 32 bits: no 64-bit division (a runtime call on a 32-bit target) and no
// overflow, at a precision far below one step of the bar.
unsigned progress_position(uint64_t done, uint64_t total) {
  if (total == 0) return 0;
  if (done > total) done = total;
  while (total >> 24) {
    total >>= 1;
    done >>= 1;
  }
  return unsigned(uint32_t(done) * (kProgressFull - 1) / uint32_t(total));
}

void report_finished(const ProgressSink* sink) {
  if (sink != nullptr) sink->report(sink->context, kProgressFull);
}

}  // namespace tv
