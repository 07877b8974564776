// The product's name and folder name, read from the installer's own resources, each
// falling back to the installer's own texts when absent or unfit.
#include "actions/product_names.h"

#include "base/bytes.h"
#include "platform/platform.h"
#include "base/text16.h"
#include "base/version_text.h"
#include "variables/table.h"

namespace tv {
namespace {

// The product's folder name from the installer's resources into out
// (kMaxFolderNameUnits + 1 units); false when it has none that is fit.
bool own_folder_name(char16_t* out) {
  const uint8_t* data = nullptr;
  size_t size = 0;
  out[0] = 0;
  return own_resource(OwnResource::kFolderName, &data, &size) &&
         read_folder_name(data, size, out);
}

// before + the folder name (or fallback when there is none) into out, which holds
// the longest folder name after before.
void with_folder_name(char16_t* out, const char16_t* before, const char16_t* fallback) {
  char16_t name[kMaxFolderNameUnits + 1];
  const char16_t* tail = own_folder_name(name) ? name : fallback;
  size_t at = 0;
  for (size_t i = 0; before[i] != 0; ++i) out[at++] = before[i];
  for (size_t i = 0; tail[i] != 0; ++i) out[at++] = tail[i];
  out[at] = 0;
}

}  // namespace

void product_name(char16_t* out) {
  const uint8_t* data = nullptr;
  size_t size = 0;
  if (own_resource(OwnResource::kVersionInfo, &data, &size) &&
      find_version_string(data, size, u"ProductName", out, kProductNameUnits))
    return;
  u16copy(out, kProductNameUnits, u"Talvenor");
}

bool read_folder_name(const uint8_t* data, size_t size, char16_t* out) {
  out[0] = 0;
  if (data == nullptr || size % 2 != 0 || size / 2 > kMaxFolderNameUnits) return false;
  size_t units = size / 2;
  for (size_t i = 0; i < units; ++i) out[i] = char16_t(le16(data + 2 * i));
  out[units] = 0;
  if (is_folder_name(out, units)) return true;
  out[0] = 0;
  return false;
}

void example_folder_name(char16_t* out) {
  if (own_folder_name(out)) return;
  const char16_t* const* app = find_variable(u"{App}");
  const char16_t* folder = app != nullptr && *app != nullptr ? *app : u"";
  size_t start = 0, end = 0;
  bool braced = false;
  for (; folder[end] != 0; ++end) {
    if (folder[end] == u'\\') start = end + 1, braced = false;
    if (folder[end] == u'{' || folder[end] == u'}') braced = true;
  }
  const char16_t* name = u"Kesta";
  size_t units = 5;
  if (!braced && is_folder_name(folder + start, end - start)) name = folder + start, units = end - start;
  for (size_t i = 0; i < units; ++i) out[i] = name[i];
  out[units] = 0;
}

void browse_folder_suffix(char16_t* out) { with_folder_name(out, u"\\", u"KESTA"); }

void default_install_folder(char16_t* out) {
  static_assert(3 + kMaxFolderNameUnits < kMaxPath, "D:\\ and the longest folder name fit a path");
  with_folder_name(out, u"D:\\", u"Kesta");
}

}  // namespace tv
