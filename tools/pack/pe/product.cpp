// The stub made the product's: its icon and version information written into its
// resource section.
#include "pe/product.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "common/errors.h"
#include "pe/icon_group.h"
#include "pe/pe_image.h"
#include "pe/pe_resources.h"
#include "pe/version_info.h"

namespace tvpack {

namespace {

// The written file read as inspect and Windows read it: a tree that does not read back,
// or version information that does not, is not shipped.
void check_reads_back(const std::vector<uint8_t>& out, bool has_version) {
  try {
    PeLayout pe = parse_pe(out.data(), out.size());
    read_resources(out.data(), out.size(), pe);
    if (has_version) read_version_info(out.data(), out.size());
  } catch (const std::runtime_error& e) {
    fail(std::string("has resources that cannot be written so that they read back (") + e.what() + ")");
  }
}

}  // namespace

std::vector<uint8_t> with_product_resources(const std::vector<uint8_t>& stub, const ProductInfo& product,
                                            const std::u16string& output_name) {
  std::vector<Resource> resources = read_resources(stub.data(), stub.size(), parse_pe(stub.data(), stub.size()));
  auto version = std::find_if(resources.begin(), resources.end(),
                              [](const Resource& r) { return is_type(r, kRtVersion); });
  bool has_version = version != resources.end();
  if (!has_version) {
    if (has_version_values(product)) fail("has no version information to write the product's into");
    if (product.icon.empty()) return stub;
  }
  uint16_t language = 0;
  if (has_version) {
    // The product's version information is the only one the installer carries: a stub
    // with several (other languages, or a type listed twice) would show another's.
    Resource written = *version;
    written.data = product_version_resource(version->data, product, output_name);
    language = written.language;
    resources.erase(std::remove_if(resources.begin(), resources.end(),
                                   [](const Resource& r) { return is_type(r, kRtVersion); }),
                    resources.end());
    resources.push_back(std::move(written));
  }
  if (!product.icon.empty()) {
    if (resources.empty()) fail("has no resource section to carry the icon");
    put_icon(&resources, product.icon, language);
  }
  std::vector<uint8_t> out = with_resources(stub, std::move(resources));
  check_reads_back(out, has_version);
  return out;
}

}  // namespace tvpack
