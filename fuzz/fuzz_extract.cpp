// extract's mapping of a destination to a path below the folder: whatever the
// destination, the result is "" (refused) or relative components that stay below the
// folder: none empty, ".", ".." or holding a separator, a drive colon or a control
// character.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "read/extract.h"
#include "fuzz_support.h"
#include "session/installer_session.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tvfuzz::init_once();
  tvpack::InstallerSession session;  // the shell folders a destination may start with
  std::u16string destination;
  for (size_t i = 0; i + 1 < size; i += 2) destination.push_back(char16_t(data[i] | data[i + 1] << 8));
  const std::u16string app = u"\x01" u"App\x01";
  std::string refusal;
  std::string relative = tvpack::extract_target(destination, app, &refusal);
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
