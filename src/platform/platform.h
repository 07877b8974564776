// The few operating-system calls the installer's logic needs. Exactly one
// implementation is linked: win32/ (the real calls) or standin/ (a stand-in over a
// real folder for native tests, fuzzing and benchmarks). Paths are Windows paths
// in UTF-16 with backslashes in both.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tv {

// Message box types and results (the Windows values).
enum : unsigned {
  kMbOk = 0x0,
  kMbYesNo = 0x4,
  kMbRetryCancel = 0x5,
  kMbIconError = 0x10,
  kMbIconWarning = 0x30,
  kMbDefaultButton2 = 0x100,
};
enum : int { kIdOk = 1, kIdCancel = 2, kIdRetry = 4, kIdYes = 6, kIdNo = 7 };

// The window that owns every message box; an opaque handle (HWND on Windows).
void set_owner_window(void* window);
void* owner_window();

// Shows a modal message box owned by the owner window; returns the button chosen.
int show_message(const char16_t* text, const char16_t* caption, unsigned type);

// One directory whose parent exists. Fails for an existing directory, a bare
// drive ("D:") or an empty name.
bool create_directory(const char16_t* path);
// True when a file or directory exists at path (GetFileAttributesW succeeds).
bool path_exists(const char16_t* path);
// Renames a file or directory; fails when the destination exists.
bool move_path(const char16_t* from, const char16_t* to);
// Removes an empty directory.
bool remove_directory(const char16_t* path);
// The Windows error number (base/file_error.h) of the last file call above that
// failed, read right after it fails.
uint32_t last_error();

// Milliseconds from a fixed start, wrapping (GetTickCount); a pause of about ms
// milliseconds. The stand-in's clock moves only when it pauses.
uint32_t milliseconds();
void pause_milliseconds(unsigned ms);

// The value of an environment variable into buf (260 units); false when it is unset
// or longer.
bool environment_value(const char16_t* name, char16_t* buf);

// The name Windows itself uses for the existing file or directory at path, with
// 8.3 names made long and junctions, symbolic links, substituted and mapped drives
// followed ("X:\..." or "\\server\share\..."), into out (260 units); false when it
// cannot be opened or the name is longer.
bool final_path(const char16_t* path, char16_t* out);
// True when the first units of a and b are the same under the system's own rule
// for file names in either case (each holds at least units units).
bool same_ignoring_case(const char16_t* a, const char16_t* b, size_t units);

// A file opened for writing ("wb": created or truncated, binary, other processes
// not locked out).
struct OutputFile;
OutputFile* open_for_write(const char16_t* path);
// Writes one slice of size bytes (below 4 GiB) after the ones written before; false
// on a failed or short write.
bool write_file(OutputFile* file, const void* data, size_t size);
// Flushes and closes; false when that fails. The handle is gone either way.
bool close_file(OutputFile* file);

// The path of a shell folder (CSIDL number) into buf of 260 units; false when the
// shell has none (buf is then left as it was).
bool special_folder_path(int csidl, char16_t* buf);

// True unless the drive letter names no drive (GetDriveTypeW on its root says
// there is no such root).
bool drive_exists(char16_t letter);

// Calls each with the path of every folder the shell keeps for the user or the
// system: the profile and its folders by design (desktop, documents, downloads,
// pictures, music, videos, application data, start menu, ...), the profiles'
// folder, the public folders, the Windows and system folders, the program-files
// folders the shell names to this program (a 32-bit program on 64-bit Windows is
// told only the 32-bit ones). A folder the shell has no path for is left out.
void list_own_folders(void (*each)(void* context, const char16_t* path), void* context);

// The bytes available to this user on the volume of the existing directory dir
// (which ends in a backslash); false when the volume cannot be asked.
bool free_space(const char16_t* dir, uint64_t* bytes);

// Saves a shortcut file at link_path that starts target with args (null or empty
// for none) and the given show command.
bool save_shortcut(const char16_t* link_path, const char16_t* target, const char16_t* args,
                   int show_cmd);

// A hint that the large buffer just allocated at data is about to be filled once,
// front to back. The stand-in asks Linux for huge pages there, so that filling it
// takes a page fault per 2 MiB rather than per 4 KiB; elsewhere it does nothing.
void prepare_large_buffer(void* data, size_t size);

// The package carried by the running installer: the stored blob of 2 * n bytes,
// n and the scrambling key. False when the installer carries none.
bool embedded_package(const uint8_t** blob, uint32_t* n, uint32_t* key);

// The running installer's own resources that its logic reads (base/resource_ids.h says
// where the maker writes them).
enum class OwnResource {
  kVersionInfo,  // its version information (VS_VERSIONINFO)
  kFolderName,   // the product's folder name
};
// The bytes of that resource, in place for the life of the process: size bytes at
// *data, which are as hostile as the package. False when the installer has none.
bool own_resource(OwnResource which, const uint8_t** data, size_t* size);

}  // namespace tv
