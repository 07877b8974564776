// An installer's dialog templates (RT_DIALOG), read from the file with bounded reads:
// the headers, then the resource section alone, never the package after it. The file is
// untrusted: every offset and size is checked before it is used.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

namespace tvdlg {

// Reads size bytes at offset of the file into out; false when it cannot.
using ReadAt = std::function<bool(uint64_t offset, uint32_t size, uint8_t* out)>;

// The largest resource section read, and the largest template taken (a dialog of the
// installer holds a few controls).
constexpr uint32_t kMaxResourceSection = 32u << 20;
constexpr uint32_t kMaxTemplate = 1u << 20;

enum class Read { kOk, kNotPe, kNoResources, kDamaged, kCannotRead };

// Every RT_DIALOG resource of the PE file of file_size bytes (each name and language, in
// the tree's order) into templates; kOk with none when it has resources but no dialogs.
Read read_dialog_templates(uint64_t file_size, const ReadAt& read_at, std::vector<std::vector<uint8_t>>* templates);

}  // namespace tvdlg
