// The install folder as the installer names it: the folder the install button takes
// from the edit box's text, and the name an old version there is moved aside to.
#pragma once
#include <optional>
#include <string>

namespace tvpack {

// The folder installed to for the edit box's text: its first 259 units, trailing
// backslashes stripped, the installer's default folder when nothing is left (which
// names the product's folder when a session has read the installer's own resources).
std::u16string install_folder_from(const std::u16string& edit_text);

// The name an existing installation at folder is moved aside to at the number-th
// try (folder + "_旧版本" + number); nothing when that is longer than a path.
std::optional<std::u16string> old_version_folder(const std::u16string& folder, int number);

}  // namespace tvpack
