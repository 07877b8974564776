// The files step's position on the bar, never moving back.
#include "actions/progress.h"

namespace tv {

void report_progress(Progress& progress, uint64_t in_file) {
  if (progress.sink == nullptr) return;
  unsigned position = progress_position(progress.done + in_file, progress.total);
  if (position > progress.shown) progress.shown = position;
  progress.sink->report(progress.sink->context, progress.shown);
}

}  // namespace tv
