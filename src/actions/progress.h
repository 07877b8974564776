// How far the files step has come, reported upward to whoever shows it (the install
// dialog's bar; a test that records it). Nothing here knows of windows.
#pragma once
#include <cstdint>

namespace tv {

// Positions run from 0 to kProgressFull, the progress bar's own default range.
constexpr unsigned kProgressFull = 100;

// report is called after every slice and every file written, whether or not the
// position moved (a caller with a window services it there), and once with
// kProgressFull when the shortcuts are done.
struct ProgressSink {
  void (*report)(void* context, unsigned position);
  void* context;
};

// The bytes written of the files section's total (64-bit: the sum may pass 4 GiB).
struct Progress {
  const ProgressSink* sink;  // null: nobody is told
  uint64_t total;            // bytes of every file of the section
  uint64_t done;             // bytes of the files written completely
  unsigned shown;            // the last position reported
};

// The position for done of total bytes: 0 to kProgressFull - 1 (the last step is
// the shortcuts'); 0 for a total of 0.
unsigned progress_position(uint64_t done, uint64_t total);

// Reports done plus in_file bytes of the file being written. A file written again
// after a failure starts over at 0; the position never moves back.
void report_progress(Progress& progress, uint64_t in_file);

// Reports kProgressFull: the install is done.
void report_finished(const ProgressSink* sink);

}  // namespace tv
