// extract's mapping of a destination to a path below the folder: whatever the
// destination, and whatever start the installer's reading gives it, the result is "" (refused) or relative components that stay below the
// folder: none empty, ".", ".." or holding a separator, a drive colon or a control
// character.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "read/extract.h"
#include "fuzz_support.h"
#include "session/installer_session.h"

namespace {
const char16_t* const kFolders[] = {u"",           u"{AppData}",        u"{StartMenu}",
                                    u"{Programs}", u"{CommonPrograms}", u"{Desktop}"};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tvfuzz::init_once();
  if (size < 2) return 0;
  // The start: a folder (or none) and its value's units, the rest the destination.
  tvpack::PathStart start_in{kFolders[data[0] % 6], size_t(data[1])};
  std::u16string destination;
  for (size_t i = 2; i + 1 < size; i += 2) destination.push_back(char16_t(data[i] | data[i + 1] << 8));
  const std::u16string app = u"\x01" u"App\x01";
  std::string refusal;
  std::string relative = tvpack::extract_target(destination, app, start_in, &refusal);
  if (relative.empty() == refusal.empty()) std::abort();
  size_t start = 0;
  while (!relative.empty()) {
    size_t slash = relative.find('/', start);
    std::string part = relative.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (part.empty() || part == "." || part == ".." || part.find('\\') != std::string::npos) std::abort();
    for (unsigned char c : part)
      if (c < 0x20 || c == ':') std::abort();
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  tvfuzz::reset_state();
  return 0;
}
