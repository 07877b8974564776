// The maker's ceilings (common/limits.h) tied to the installer's own limits at compile
// time: a ceiling that outgrows what the installer accepts does not build.
#pragma once
#include <cstdint>

#include "actions/product_names.h"
#include "actions/shortcuts.h"
#include "common/limits.h"
#include "package/container.h"
#include "variables/expand.h"

namespace tvpack {

// The installer unpacks no script longer than kMostScriptBytes.
static_assert(kMaxScriptSize <= tv::kMostScriptBytes, "the script ceiling passes what the installer unpacks");
// A file record's size is a signed 32-bit number (a negative one is a damaged package).
static_assert(kMaxFileSize <= uint64_t(INT32_MAX), "the file ceiling passes a file record's size");
// The installer looks at kMaxShortcutLines lines of the shortcuts section, four a shortcut.
static_assert(kMaxShortcuts * 4 <= tv::kMaxShortcutLines, "more shortcuts than the installer looks at");
// The product name is a text of the version information: the installer reads the longest whole.
static_assert(kMaxInfoUnits <= tv::kMaxProductNameUnits, "the installer reads the longest product_name whole");
// N, the stored blob's half, is a 32-bit number in the package section's header.
static_assert(kMaxStoredBlob / 2 <= UINT32_MAX, "a container too long for the package section's header");

}  // namespace tvpack
