// The deepest existing part of a chosen install folder, and the folder with that
// part named as Windows names it.
#include "install/existing_part.h"

#include "actions/path_rules.h"
#include "base/path_limit.h"
#include "base/text16.h"
#include "install/message_text.h"
#include "platform/platform.h"

namespace tv {

size_t deepest_existing(const char16_t* folder, size_t root, char16_t* dir) {
  size_t units = u16len(folder);
  for (size_t i = 0; i < units; ++i) dir[i] = unit_at(folder, i);
  dir[units] = 0;
  while (units > root && !path_exists(dir)) {
    while (units > root && dir[units - 1] != u'\\') --units;
    if (units > root) --units;  // the backslash before the missing name
    dir[units] = 0;
  }
  dir[units] = u'\\';
  dir[units + 1] = 0;
  return units;
}

void resolve_folder(const char16_t* folder, char16_t* out) {
  char16_t dir[kMaxPath + 1], final[kMaxPath];
  size_t kept = deepest_existing(folder, judge_folder(folder).root, dir);
  TextBuilder b = start_text(out, kMaxPath);
  bool named = final_path(dir, final);
  if (named) {
    strip_trailing_backslashes(final);
    add(add(b, final), folder + kept);
  }
  if (!named || b.cut) u16copy(out, kMaxPath, folder);
}

}  // namespace tv
