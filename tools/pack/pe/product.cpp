// The stub made the product's: its icon and version information written into its
// resource section.
#include "pe/product.h"

#include <algorithm>

#include "common/errors.h"
#include "pe/icon_group.h"
#include "pe/pe_resources.h"
#include "pe/version_info.h"

namespace tvpack {

std::vector<uint8_t> with_product_resources(const std::vector<uint8_t>& stub, const ProductInfo& product,
                                            const std::u16string& output_name) {
  std::vector<Resource> resources = read_resources(stub.data(), stub.size(), parse_pe(stub.data(), stub.size()));
  auto version = std::find_if(resources.begin(), resources.end(),
                              [](const Resource& r) { return is_type(r, kRtVersion); });
  if (version == resources.end()) {
    if (has_version_values(product)) fail("has no version information to write the product's into");
    if (product.icon.empty()) return stub;
  } else {
    version->data = product_version_resource(version->data, product, output_name);
  }
  if (!product.icon.empty()) {
    if (resources.empty()) fail("has no resource section to carry the icon");
    put_icon(&resources, product.icon, version != resources.end() ? version->language : 0);
  }
  return with_resources(stub, std::move(resources));
}

}  // namespace tvpack
