#include "actions/directories.h"

#include "platform/platform.h"
#include "base/text16.h"
#include "variables/expand.h"

namespace tv {

int create_directory_tree(const char16_t* path) {
  if (path == nullptr) return 0;
  char16_t buffer[kMaxPath] = {};
  if (!u16copy(buffer, kMaxPath, path)) return 0;

  for (size_t i = 0; buffer[i] != 0; ++i) {
    if (buffer[i] != u'\\') continue;
    buffer[i] = 0;
    create_directory(buffer);  // an existing level or a bare drive fails; that is fine
    buffer[i] = u'\\';
  }
  return create_directory(buffer) ? 1 : 0;
}

ParentSplit split_at_last_backslash(const char16_t* path, char16_t* parent,
                                    const char16_t** name) {
  size_t last = 0;
  bool found = false;
  for (size_t i = 0;; ++i) {
    char16_t c = unit_at(path, i);
    if (c == 0) break;
    if (c == u'\\') {
      last = i;
      found = true;
    }
  }
  if (!found) return ParentSplit::kNoBackslash;
  if (last >= kMaxPath) return ParentSplit::kParentTooLong;
  for (size_t i = 0; i < last; ++i) parent[i] = unit_at(path, i);
  parent[last] = 0;
  *name = path + last + 1;
  return ParentSplit::kSplit;
}

}  // namespace tv
