// The check of a typed install folder on arbitrary text: the rule's answers hold
// together, the folder named as Windows names it is the same folder (the stand-in's
// root holds no links), and the boxes that quote the folder stay inside their buffers.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "actions/path_rules.h"
#include "fuzz_support.h"
#include "install/existing_part.h"
#include "install/folder_check.h"
#include "install/install.h"
#include "install/space_check.h"
#include "install/write_probe.h"
#include "platform/platform.h"
#include "platform/standin/standin.h"
#include "base/text16.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tvfuzz::init_once();
  // The edit box's text: at most 259 units, as the dialog reads it.
  std::u16string edit(std::min<size_t>(size / 2, 259), u'\0');
  if (!edit.empty()) std::memcpy(&edit[0], data, 2 * edit.size());
  edit = edit.c_str();
  char16_t folder[260];
  tv::install_directory_from(edit.c_str(), folder);
  size_t units = tv::u16len(folder);

  tv::FolderShape shape = tv::judge_folder(folder);
  if (shape.root > units) std::abort();
  if (shape.fault == tv::FolderFault::kBadName &&
      (shape.name_at > units || shape.name_units > units - shape.name_at))
    std::abort();
  bool usable = shape.fault == tv::FolderFault::kNone;
  if (usable && (!tv::folder_holds(folder, folder) || shape.root == 0)) std::abort();
  // A usable folder holds no folder above it: its parent is not held by it.
  if (usable) {
    std::u16string parent(folder, units);
    parent.resize(parent.rfind(u'\\'));
    if (tv::folder_holds(folder, parent.c_str())) std::abort();
  }
  if (usable) {
    char16_t resolved[260];
    tv::resolve_folder(folder, resolved);
    if (tv::u16len(resolved) != units || !tv::same_ignoring_case(resolved, folder, units))
      std::abort();
  }
  tv::posix::set_free_space(u'D', int64_t(size));
  if (tv::check_install_folder(folder, edit.c_str()) && tv::confirm_free_space(folder))
    tv::check_folder_writable(folder, edit.c_str());
  return 0;
}
