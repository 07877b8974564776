// The right to write the chosen install folder, and the box when Windows says no.
#include "install/write_probe.h"

#include "actions/path_rules.h"
#include "actions/product_names.h"
#include "base/file_error.h"
#include "base/path_limit.h"
#include "base/text16.h"
#include "install/existing_part.h"
#include "install/message_text.h"
#include "install/unwritable_box.h"
#include "platform/platform.h"

namespace tv {
namespace {

constexpr unsigned kProbeNames = 8;  // names tried when the ones before are taken

// The product's folder on the first drive after the folder's own that exists and
// can be written (D: to Z:, then C:), into out (kMaxPath units); "" when none can.
void writable_example(char16_t* out, char16_t avoid) {
  for (const char16_t* at = u"DEFGHIJKLMNOPQRSTUVWXYZC"; *at != 0; ++at) {
    char16_t root[4] = {*at, u':', u'\\', 0};
    if (*at == avoid || !drive_exists(*at) || probe_writable(root) != 0) continue;
    char16_t name[kMaxFolderNameUnits + 1];
    example_folder_name(name);  // the one example the folder boxes give
    TextBuilder b = start_text(out, kMaxPath);
    add(add(b, root), name);
    return;
  }
  out[0] = 0;
}

}  // namespace

unsigned probe_writable(const char16_t* dir) {
  for (unsigned n = 1; n <= kProbeNames; ++n) {
    char16_t probe[kMaxPath + 16];
    TextBuilder b = start_text(probe, kMaxPath + 16);
    add_number(add(add(b, dir), u"tv-probe-"), n);
    if (create_directory(probe)) {
      remove_directory(probe);
      return 0;
    }
    unsigned error = last_error();
    if (error != kErrorAlreadyExists) return error;
  }
  return 0;  // every name taken: nothing learnt, the install goes on
}

bool check_folder_writable(const char16_t* folder, const char16_t* typed) {
  char16_t dir[kMaxPath + 1];
  size_t root = judge_folder(folder).root;
  size_t kept = deepest_existing(folder, root, dir);
  unsigned error = probe_writable(dir);
  if (error == 0 && unit_at(folder, kept) == 0) {  // an old version, renamed beside itself
    while (kept > root && dir[kept - 1] != u'\\') --kept;
    dir[kept] = 0;
    if (kept > root) error = probe_writable(dir);
  }
  FileError why = classify_file_error(error);
  if (why == FileError::kOther || why == FileError::kLocked) return true;
  char16_t example[kMaxPath], text[kUnwritableTextUnits];
  char16_t drive = unit_at(folder, 1) == u':' ? char16_t(unit_at(folder, 0) & ~0x20) : 0;
  writable_example(example, drive);
  unwritable_text(text, typed, why, example);
  show_message(text, u"安装目录无效", kMbOk | kMbIconWarning);
  return false;
}

}  // namespace tv
