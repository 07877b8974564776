// Writing an installer's files into a folder as the installer would, with "{App}" the
// folder, without running anything: destinations outside "{App}" go under
// DIR/_outside/<drive or folder>/..., shortcuts are listed, not made. Nothing is
// written outside the folder whatever the package says. Names that differ only in
// case are one file or folder, spelt as first written, as on Windows.
#pragma once
#include <filesystem>
#include <ostream>
#include <string>

#include "session/installer_session.h"

namespace tvpack {

// The folder under DIR for destinations outside "{App}".
constexpr const char* kOutsideFolder = "_outside";

// Where a destination goes below DIR: its relative path (UTF-8 components joined by
// "/"), or "" with *refusal set to why it is not written. Below "{App}" (app, compared
// as Windows compares names) it stays in DIR; in a user's own folder (start, the
// installer's reading) it goes to DIR/_outside/<that folder's name>.
std::string extract_target(const std::u16string& destination, const std::u16string& app, const PathStart& start,
                           std::string* refusal);

// Extracts installer into dir (new or empty unless force). Lists what it wrote and the
// shortcuts on out; a warning per refused file on err. Returns 0, or 2 when a file
// was refused or could not be written; 2 with nothing written (each such path told
// on err) when a path holds a name Windows cannot hold, which the installer refuses. Throws PackError when the installer or the
// folder cannot be used, or when the installer would stop (a damaged package).
// A shortcut's arguments as one quoted value, as a Windows command line reads a quoted
// argument: a quote inside is \", and the backslashes before one (or before the closing
// quote) are doubled; control characters as quote() writes them.
std::string quoted_arguments(const std::string& text);

int extract_installer(const std::filesystem::path& installer, const std::filesystem::path& dir, bool force,
                      std::ostream& out, std::ostream& err);

}  // namespace tvpack
