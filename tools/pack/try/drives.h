// talvenor-pack try, the prefix's drives: where a Windows path lies on the host.
#pragma once
#include <filesystem>
#include <string>

namespace tvpack {

// "X:\\a\\..\\.\\b" as Windows resolves it before it looks at any file ("X:\\b");
// other paths as they are.
std::u16string resolved_windows_path(const std::u16string& path);
// The host path of a Windows path "X:\\..." on a drive of the Wine prefix (its
// dosdevices link followed when it leads into the folder that holds the prefix): an
// existing name that differs only in case (Windows' case table) is taken, as Windows
// takes it, and ".." stops at the drive's root. "" when the path names no such drive
// (another drive, a network or relative path) or goes through a link below the drive's
// root (the installer's, or Wine's to the host: never followed).
std::filesystem::path map_windows_path(const std::filesystem::path& prefix, const std::u16string& windows);

}  // namespace tvpack
