// The deepest part of a chosen install folder that already exists, where the space,
// the name Windows uses and the right to write are asked.
#pragma once
#include <cstddef>

namespace tv {

// The deepest part of folder (a full path, no trailing backslash, root units of
// drive or share) that exists, with a backslash after it, into dir (kMaxPath + 1
// units); the drive's or share's root when nothing below it does. Returns the
// units of folder it keeps (the backslash not counted).
size_t deepest_existing(const char16_t* folder, size_t root, char16_t* dir);

// folder with its deepest existing part named as Windows names it (final_path:
// long names, links and substituted drives followed) and the rest as typed, into
// out (kMaxPath units); folder itself when that part has no such name or the whole
// would not fit.
void resolve_folder(const char16_t* folder, char16_t* out);

}  // namespace tv
