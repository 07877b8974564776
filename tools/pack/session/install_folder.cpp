// The install folder as the installer names it (install/install.h).
#include "session/install_folder.h"

#include "base/path_limit.h"
#include "base/text16.h"
#include "install/install.h"

namespace tvpack {

std::u16string install_folder_from(const std::u16string& edit_text) {
  char16_t chosen[tv::kMaxPath];
  tv::install_directory_from(edit_text.c_str(), chosen);
  return tv::u16string_at(chosen);
}

std::optional<std::u16string> old_version_folder(const std::u16string& folder, int number) {
  char16_t name[tv::kMaxPath] = {};
  if (!tv::old_version_name(name, folder.c_str(), number)) return std::nullopt;
  return tv::u16string_at(name);
}

}  // namespace tvpack
