// The UI driver's reader of an installer's dialog templates on any file: it reads only
// inside the file (the reads are checked here), ends, and every template it gives is of
// the size it allows and lies inside the file.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "dialog_templates.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::vector<uint8_t>> templates;
  tvdlg::Read r = tvdlg::read_dialog_templates(size, [data, size](uint64_t at, uint32_t n, uint8_t* out) {
    if (at > size || size - at < n) abort();  // outside the file
    std::memcpy(out, data + at, n);
    return true;
  }, &templates);
  if (r != tvdlg::Read::kOk && !templates.empty()) abort();
  for (const auto& t : templates) {
    if (t.size() > tvdlg::kMaxTemplate) abort();
    if (!t.empty() && std::search(data, data + size, t.begin(), t.end()) == data + size) abort();
  }
  return 0;
}
