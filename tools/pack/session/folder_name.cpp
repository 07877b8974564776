// One folder's name as the installer takes it: its own rule (actions/path_rules.h).
#include "session/folder_name.h"

#include "actions/path_rules.h"

namespace tvpack {

static_assert(kMaxFolderNameUnits == tv::kMaxFolderNameUnits, "the maker's folder-name limit is the installer's");

bool installer_takes_folder_name(const std::u16string& name) { return tv::is_folder_name(name.data(), name.size()); }

FolderNameVerdict judge_folder_name(const std::u16string& name) {
  tv::NameVerdict v = tv::judge_folder_name(name.data(), name.size());
  static const FolderNameFault kFaults[] = {FolderNameFault::kNone,      FolderNameFault::kEmpty,
                                            FolderNameFault::kTooLong,   FolderNameFault::kSeparator,
                                            FolderNameFault::kForbidden, FolderNameFault::kCannotHold};
  return {kFaults[size_t(v.fault)], v.at};
}

}  // namespace tvpack
