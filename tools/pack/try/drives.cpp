// talvenor-pack try, the prefix's drives: where a Windows path lies on the host, as
// Windows resolves it and without following a link the installer (or Wine) made.
#include <algorithm>

#include "common/errors.h"
#include "common/folder_names.h"
#include "common/upcase.h"
#include "common/windows_path.h"
#include "base/text16.h"
#include "try/drives.h"

namespace fs = std::filesystem;

namespace tvpack {

std::u16string resolved_windows_path(const std::u16string& path) {
  if (path.size() < 3 || path[1] != u':' || !is_separator(path[2])) return path;
  std::vector<std::u16string> names = path_components(path.substr(3));
  resolve_dots(&names);
  std::u16string out = path.substr(0, 2);
  for (const std::u16string& name : names) out += u"\\" + name;
  return names.empty() ? out + u"\\" : out;
}

fs::path map_windows_path(const fs::path& prefix, const std::u16string& windows) {
  std::u16string path = resolved_windows_path(windows);
  char16_t letter = drive_letter(path);
  if (letter == 0 || path.size() < 3 || path[2] != u'\\') return {};
  std::error_code ec, ec2;
  // Wine names its drives in lowercase ("c:").
  std::string drive = {char(letter - u'A' + 'a'), ':'};
  fs::path at = fs::canonical(prefix / "dosdevices" / drive, ec);
  // A drive of the run's own folders (the prefix's and the ones beside it), not one
  // linked elsewhere by Wine's mount manager or by the installer.
  fs::path run = fs::canonical(prefix.parent_path(), ec2);
  fs::path below = at.lexically_relative(run);
  if (ec || ec2 || below.empty() || *below.begin() == "..") return {};
  for (size_t start = 3, end; start < path.size(); start = end + 1) {
    end = std::min(path.find(u'\\', start), path.size());
    std::u16string part = path.substr(start, end - start);
    // Windows names ignore case: an existing name that differs only in case is the one.
    fs::path exact = at / utf8_path(tv::u16_to_utf8(part));
    if (!fs::exists(fs::symlink_status(exact, ec))) {
      std::map<std::u16string, std::string> names = names_by_case(at);
      auto found = names.find(upcase(part));
      if (found != names.end()) exact = at / utf8_path(found->second);
    }
    // A link in the prefix was made on the host, not by Windows: it is not followed.
    if (fs::is_symlink(exact, ec)) return {};
    at = exact;
  }
  return at;
}

}  // namespace tvpack
