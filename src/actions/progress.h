// How far the files step has come: the bytes written of the files section's total.
// It reports after every slice and every file written; the install sequence reports
// kProgressFull once the shortcuts are done.
#pragma once
#include <cstdint>

#include "base/progress_sink.h"

namespace tv {

// The bytes written of the files section's total (64-bit: the sum may pass 4 GiB).
struct Progress {
  const ProgressSink* sink;  // null: nobody is told
  uint64_t total;            // bytes of every file of the section
  uint64_t done;             // bytes of the files written completely
  unsigned shown;            // the last position reported
};

// Reports done plus in_file bytes of the file being written. A file written again
// after a failure starts over at 0; the position never moves back.
void report_progress(Progress& progress, uint64_t in_file);

}  // namespace tv
