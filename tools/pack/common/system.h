// The few calls the maker makes that differ between Linux and Windows beyond the
// standard library: one header, system_posix.cpp or system_windows.cpp linked (CMake
// picks, as it picks src/platform's).
#pragma once
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace tvpack {

// The folder of this executable, or "" when it cannot be told.
std::filesystem::path self_dir();

// The command line as UTF-8 on every system.
std::vector<std::string> utf8_arguments(int argc, char** argv);

// UTF-8 output shows as text on a Windows console (nothing to do elsewhere).
void use_utf8_console();

// True when the stream is a terminal (a console on Windows).
bool is_terminal(std::FILE* stream);

// This process's id (for names of temporary files).
unsigned long process_id();

// The file name of path as text: on Windows as it is; elsewhere its bytes read as
// UTF-8, a byte that is none standing as U+FFFD (a name need not be text).
std::u16string file_name_text(const std::filesystem::path& path);

// A link of Windows' own kind (a reparse point: a junction, a mount point) that the
// standard library does not tell from a folder; never on Linux.
bool is_reparse_point(const std::filesystem::path& path);

}  // namespace tvpack
