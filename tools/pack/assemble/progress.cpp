// The build's progress line on a terminal, redrawn in place.
#include "assemble/progress.h"

#include "common/errors.h"

namespace tvpack {

TerminalProgress::TerminalProgress(std::FILE* stream, bool enabled) : stream_(stream), enabled_(enabled) {}

TerminalProgress::~TerminalProgress() { erase(); }

void TerminalProgress::files_read(size_t done, size_t total) {
  files_done_ = done;
  files_total_ = total;
  draw(done == total);
}

void TerminalProgress::compressed(uint64_t done, uint64_t total) {
  bytes_done_ = done;
  bytes_total_ = total;
  draw(done == total);
}

void TerminalProgress::draw(bool last_step) {
  if (!enabled_) return;
  auto now = std::chrono::steady_clock::now();
  if (shown_ != 0 && !last_step && now - last_drawn_ < std::chrono::milliseconds(100)) return;
  last_drawn_ = now;
  char line[160];
  unsigned percent = bytes_total_ == 0 ? 0 : unsigned(bytes_done_ * 100 / bytes_total_);
  int n = std::snprintf(line, sizeof line, "%s: %zu/%zu files read, %.1f/%.1f MiB compressed (%u%%)", kMakerName,
                        files_done_, files_total_, double(bytes_done_) / 1048576.0,
                        double(bytes_total_) / 1048576.0, percent);
  size_t length = n < 0 ? 0 : size_t(n) < sizeof line ? size_t(n) : sizeof line - 1;
  // Over the previous line; spaces cover what was longer.
  std::fprintf(stream_, "\r%s%*s", line, int(shown_ > length ? shown_ - length : 0), "");
  if (shown_ > length) std::fprintf(stream_, "\r%s", line);
  shown_ = length;
  std::fflush(stream_);
}

void TerminalProgress::erase() {
  if (shown_ == 0) return;
  std::fprintf(stream_, "\r%*s\r", int(shown_), "");
  std::fflush(stream_);
  shown_ = 0;
}

}  // namespace tvpack
