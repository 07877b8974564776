// Windows' path rules: drives, forbidden characters, "."
// and "..", names compared.
#include "common/windows_path.h"

#include "base/name_characters.h"
#include "common/upcase.h"

namespace tvpack {

bool is_separator(char16_t c) { return c == u'\\' || c == u'/'; }

char16_t drive_letter(const std::u16string& path) {
  if (path.size() < 2 || path[1] != u':') return 0;
  char16_t letter = upcase_unit(path[0]);
  return letter >= u'A' && letter <= u'Z' && path[0] < 0x80 ? letter : 0;
}

bool is_absolute(const std::u16string& path) {
  bool drive = path.size() >= 3 && drive_letter(path) != 0 && path[2] == u'\\';
  bool unc = path.size() >= 3 && path[0] == u'\\' && path[1] == u'\\';
  return drive || unc;
}

bool forbidden_in_name(char16_t c) { return tv::forbidden_in_name(c); }

char16_t forbidden_in_path(const std::u16string& path) {
  for (size_t i = drive_letter(path) != 0 ? 2 : 0; i < path.size(); ++i)
    if (forbidden_in_name(path[i])) return path[i];
  return 0;
}

std::vector<std::u16string> path_components(const std::u16string& path) {
  std::vector<std::u16string> names;
  std::u16string name;
  for (char16_t c : path) {
    if (!is_separator(c)) {
      name += c;
      continue;
    }
    if (!name.empty()) names.push_back(name);
    name.clear();
  }
  if (!name.empty()) names.push_back(name);
  return names;
}

bool resolve_dots(std::vector<std::u16string>* names, size_t kept, size_t* climbed_at) {
  bool stayed = true;
  std::vector<std::u16string> out;
  for (size_t i = 0; i < names->size(); ++i) {
    const std::u16string& name = (*names)[i];
    if (name == u"..") {
      if (out.size() > kept) {
        out.pop_back();
      } else if (stayed) {
        stayed = false;
        if (climbed_at != nullptr) *climbed_at = i;
      }
    } else if (name != u".") {
      out.push_back(name);
    }
  }
  *names = std::move(out);
  return stayed;
}

bool starts_with_folder(const std::u16string& path, std::u16string folder) {
  while (!folder.empty() && is_separator(folder.back())) folder.pop_back();
  if (folder.empty() || path.size() < folder.size()) return false;
  for (size_t i = 0; i < folder.size(); ++i) {
    char16_t a = upcase_unit(path[i]), b = upcase_unit(folder[i]);
    if (a != b && !(is_separator(a) && is_separator(b))) return false;
  }
  return path.size() == folder.size() || is_separator(path[folder.size()]);
}

}  // namespace tvpack
