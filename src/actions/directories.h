// Creating directories for the files and shortcuts the installer writes.
#pragma once

namespace tv {

// Creates path and every directory above it, one level at a time: at each
// backslash the text before it is created (a failure there is ignored, as for a
// level that already exists), then path itself. Returns 1 when creating path
// itself succeeded, else 0; 0 without creating anything for a null path or one of
// 260 units or more.
int create_directory_tree(const char16_t* path);

enum class ParentSplit {
  kNoBackslash,    // path names no directory; parent is left untouched
  kParentTooLong,  // the text before the last backslash does not fit 260 units
  kSplit,          // parent holds the text before the last backslash
};

// Splits path at its last backslash: the text before it into parent (260 units,
// NUL-terminated) and *name pointing just after it, inside path.
ParentSplit split_at_last_backslash(const char16_t* path, char16_t* parent,
                                    const char16_t** name);

}  // namespace tv
