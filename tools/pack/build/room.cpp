// The room a package leaves for the install folder, from its paths below {App}.
#include "build/room.h"

#include "build/manifest.h"
#include "common/limits.h"
#include "platform/text16.h"
#include "variables/expand.h"

namespace tvpack {

size_t longest_below_app(const std::vector<std::u16string>& paths) {
  const std::u16string app = u"{App}\\";
  size_t longest = 0;
  for (const std::u16string& path : paths) {
    if (path.compare(0, app.size(), app) != 0) continue;
    const char16_t* below = tv::expand_variables(path.c_str() + app.size());
    if (below != nullptr && tv::u16len(below) > longest) longest = tv::u16len(below);
  }
  return longest;
}

size_t install_folder_room(const Manifest& m) {
  std::vector<std::u16string> paths;
  for (const ManifestFile& f : m.files) paths.push_back(f.destination);
  for (const ManifestShortcut& s : m.shortcuts) paths.push_back(s.location + u".lnk");
  size_t longest = longest_below_app(paths);
  // The folder, its backslash and the path below it: at most kMaxPathUnits.
  return longest + 1 >= kMaxPathUnits ? 0 : kMaxPathUnits - 1 - longest;
}

}  // namespace tvpack
