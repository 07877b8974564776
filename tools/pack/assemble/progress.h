// The one-line progress display of a long build on a terminal: files read, bytes
// compressed and the percentage, redrawn in place and erased when the build ends.
#pragma once
#include <chrono>
#include <cstdio>
#include <string>

#include "assemble/build.h"

namespace tvpack {

class TerminalProgress : public BuildProgress {
 public:
  // Draws on stream at most ten times a second (and at the end of each step);
  // nothing at all when disabled.
  TerminalProgress(std::FILE* stream, bool enabled);
  ~TerminalProgress() override;
  void files_read(size_t done, size_t total) override;
  void compressed(uint64_t done, uint64_t total) override;
  // Erases the line (also done on destruction, so an error message starts clean).
  void erase();

 private:
  void draw(bool last_step);

  std::FILE* stream_;
  bool enabled_;
  std::chrono::steady_clock::time_point last_drawn_;
  size_t files_done_ = 0, files_total_ = 0;
  uint64_t bytes_done_ = 0, bytes_total_ = 0;
  size_t shown_ = 0;  // characters on the line now
};

}  // namespace tvpack
