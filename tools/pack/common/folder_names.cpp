// A folder's names by their uppercase.
#include "common/folder_names.h"

#include <algorithm>
#include <vector>

#include "common/upcase.h"
#include "base/text16.h"

namespace tvpack {

std::map<std::u16string, std::string> names_by_case(const std::filesystem::path& folder) {
  std::vector<std::string> listed;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    listed.push_back(it->path().filename().u8string());
  std::sort(listed.begin(), listed.end());
  std::map<std::u16string, std::string> names;
  for (const std::string& name : listed) names.emplace(upcase(tv::utf8_to_u16(name)), name);
  return names;
}

}  // namespace tvpack
