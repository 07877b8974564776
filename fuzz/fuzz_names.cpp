// The product's names as the installer reads them of its own resources, on any bytes:
// the input is a 16-bit little-endian length L, L bytes of version information, and
// the folder-name resource's bytes. The texts and folders made from them always fit
// their buffers and hold only a name the installer takes.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "actions/files.h"
#include "actions/product_names.h"
#include "fuzz_support.h"
#include "platform/platform.h"
#include "platform/standin/standin.h"
#include "base/text16.h"

namespace {

void require(bool holds) {
  if (!holds) std::abort();
}

// A folder text made of before and a name: the name is the fallback or one the
// installer takes.
void check_folder(const char16_t* text, const char16_t* before, const char16_t* fallback) {
  size_t n = tv::u16len(before);
  for (size_t i = 0; i < n; ++i) require(text[i] == before[i]);
  const char16_t* name = text + n;
  require(tv::u16eq(name, fallback) || tv::is_folder_name(name, tv::u16len(name)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tvfuzz::init_once();
  if (size < 2 || size > (1u << 16)) return 0;
  size_t split = 2 + (data[0] | size_t(data[1]) << 8);
  if (split > size) split = size;
  // The stand-in keeps exact-size copies: a read past either is caught.
  tv::posix::set_own_resource(tv::OwnResource::kVersionInfo, std::vector<uint8_t>(data + 2, data + split));
  tv::posix::set_own_resource(tv::OwnResource::kFolderName, std::vector<uint8_t>(data + split, data + size));

  char16_t name[tv::kProductNameUnits];
  tv::product_name(name);
  size_t units = tv::u16len(name);
  require(units > 0 && units <= tv::kMaxProductNameUnits);

  static const std::u16string kLongPath(1100, u'p');
  char16_t prompt[tv::kPromptUnits];
  tv::build_write_prompt(prompt, kLongPath.c_str());
  size_t length = tv::u16len(prompt);
  require(length == tv::kPromptUnits - 1 && prompt[length - 1] == u'！');

  char16_t suffix[tv::kFolderSuffixUnits], folder[tv::kMaxPath];
  tv::browse_folder_suffix(suffix);
  tv::default_install_folder(folder);
  check_folder(suffix, u"\\", u"KESTA");
  check_folder(folder, u"D:\\", u"Kesta");
  tv::posix::clear_own_resources();
  return 0;
}
