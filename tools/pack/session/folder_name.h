// One folder's name as the installer takes it (the product's folder name, the name of a
// user's profile folder): the installer's own rule, for the maker to word.
#pragma once
#include <cstddef>
#include <string>

namespace tvpack {

// The longest folder name the installer takes (UTF-16 units, tied to the installer's
// own limit at compile time).
constexpr size_t kMaxFolderNameUnits = 255;

// True when the installer takes name as one folder's name: 1 to kMaxFolderNameUnits
// units, no backslash or slash, no character a name may not hold, and a name Windows
// can hold (no device name, not "." or "..", not ending in a dot or a space).
bool installer_takes_folder_name(const std::u16string& name);

// What keeps a name from being one folder's name: the installer's verdict
// (tv::judge_folder_name, actions/path_rules.h), for the maker to word.
enum class FolderNameFault {
  kNone,
  kEmpty,
  kTooLong,     // more than kMaxFolderNameUnits units
  kSeparator,   // a backslash or a slash: unit `at`
  kForbidden,   // a character no name may hold: unit `at`
  kCannotHold,  // "." or "..", or a name Windows cannot hold
};
struct FolderNameVerdict {
  FolderNameFault fault;
  size_t at;  // kSeparator, kForbidden: the first such unit
};
FolderNameVerdict judge_folder_name(const std::u16string& name);

}  // namespace tvpack
