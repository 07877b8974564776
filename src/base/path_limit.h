// The one path limit that installer and maker share: a Windows path of at most 259
// UTF-16 units, 260 with its NUL.
#pragma once

namespace tv {

constexpr unsigned kMaxPath = 260;                // units, the NUL included
constexpr unsigned kMaxPathUnits = kMaxPath - 1;  // units, the NUL not counted

}  // namespace tv
