// Windows' rules for paths, one copy each, as the maker applies them to what a package
// installs and to the paths an installer took: separators, drive letters, the
// characters no name may hold, "." and ".." resolved, and names compared through the
// file systems' case table (upcase.h). The names Windows cannot hold are the
// installer's own rule, asked through the session (session/installer_session.h).
#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace tvpack {

bool is_separator(char16_t c);  // '\\' or '/'

// The drive letter of a path "X:...", in uppercase; 0 when it starts with no ASCII
// letter and colon.
char16_t drive_letter(const std::u16string& path);

// "X:\..." or "\\...": a path that does not depend on a current drive or folder.
bool is_absolute(const std::u16string& path);

// A character that no file or folder name may hold: control characters and <>:"|?*.
bool forbidden_in_name(char16_t c);
// The first such character of a path (the colon of its drive excepted), or 0.
char16_t forbidden_in_path(const std::u16string& path);

// The names of a path, split at either separator, empty ones dropped.
std::vector<std::u16string> path_components(const std::u16string& path);

// Names as Windows resolves them before it looks at any file: "." dropped, ".." taking
// out the name before it, but never one of the first `kept` (a drive). False when a
// ".." had nothing to take out (it is dropped, as at a drive's root); *climbed_at is
// then the index in the names given of the first such "..".
bool resolve_dots(std::vector<std::u16string>* names, size_t kept = 0, size_t* climbed_at = nullptr);

// path lies in the folder (or is it): the same names, compared as Windows compares
// them, either separator, the folder's trailing separators aside. The one rule of
// whether a path lies below {App} or a shell folder.
bool starts_with_folder(const std::u16string& path, std::u16string folder);

}  // namespace tvpack
