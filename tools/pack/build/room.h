// The room a package leaves for the install folder: how long the folder the user picks
// may be before a path below {App} passes the 259 units a path may have.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace tvpack {

struct Manifest;

// A room under this many characters is warned of: a folder under
// C:\Users\<name>\AppData\... often takes 40 to 60.
constexpr size_t kLowRoom = 60;

// The longest path below {App} of these expanded templates, in UTF-16 units and
// without the backslash after {App}: only a template that begins with "{App}\" is
// below it; the rest is expanded with the current variable table. 0 when none is.
size_t longest_below_app(const std::vector<std::u16string>& paths);

// 258 minus the longest path below {App} of the files and the shortcut files (X.lnk)
// of a loaded manifest (its variables in the table).
size_t install_folder_room(const Manifest& m);

}  // namespace tvpack
