// How far a long step has come, reported upward to whoever shows it (a window's bar;
// a test that records it): loading the package and writing the files. Nothing here
// knows of windows.
#pragma once
#include <cstdint>

namespace tv {

// Positions run from 0 to kProgressFull, the progress bar's own default range.
constexpr unsigned kProgressFull = 100;

// report is called often while the step works, whether or not the position moved (a
// caller with a window services it there), and once with kProgressFull when the step
// is over.
struct ProgressSink {
  void (*report)(void* context, unsigned position);
  void* context;
};

// The position for done of total bytes: 0 to kProgressFull - 1 (the full bar is left
// for the end of the step); 0 for a total of 0.
unsigned progress_position(uint64_t done, uint64_t total);

// Reports kProgressFull: the step is over. Nothing for a null sink.
void report_finished(const ProgressSink* sink);

}  // namespace tv
