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
#include "base/bytes.h"
#include "base/resource_ids.h"

namespace tvpack {

namespace {

// The written file read as inspect and Windows read it: a tree that does not read back,
// or version information that does not, is not shipped.
void check_reads_back(const std::vector<uint8_t>& out, bool has_version) {
  try {
    std::vector<Resource> resources = read_resources(out.data(), out.size(), parse_pe(out.data(), out.size()));
    if (has_version) version_info_of(resources);
  } catch (const std::runtime_error& e) {
    fail(std::string("has resources that cannot be written so that they read back (") + e.what() + ")");
  }
}

bool is_folder_name_resource(const Resource& r) {
  return is_type(r, tv::kRtRcdataType) && r.name.name.empty() && r.name.id == tv::kFolderNameId;
}

// The product's folder name as the installer's one resource of it (any the stub had,
// in whatever language, go): its UTF-16LE units without a NUL, language neutral.
void put_folder_name(std::vector<Resource>* resources, const std::u16string& name) {
  resources->erase(std::remove_if(resources->begin(), resources->end(), is_folder_name_resource), resources->end());
  Resource r;
  r.type.id = tv::kRtRcdataType;
  r.name.id = tv::kFolderNameId;
  r.data.resize(2 * name.size());
  for (size_t i = 0; i < name.size(); ++i) tv::put16(&r.data[2 * i], name[i]);
  resources->push_back(std::move(r));
}

}  // namespace

std::vector<uint8_t> with_product_resources(const std::vector<uint8_t>& stub, const ProductInfo& product,
                                            const std::u16string& output_name) {
  PeLayout pe = parse_pe(stub.data(), stub.size());
  std::vector<Resource> resources = read_resources(stub.data(), stub.size(), pe);
  auto version = std::find_if(resources.begin(), resources.end(),
                              [](const Resource& r) { return is_type(r, kRtVersion); });
  bool has_version = version != resources.end();
  if (!has_version) {
    if (has_version_values(product)) fail("has no version information to write the product's into");
    if (product.icon.empty() && !product.folder_name) return stub;
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
  if (product.folder_name) {
    if (resources.empty()) fail("has no resource section to carry the folder name");
    put_folder_name(&resources, *product.folder_name);
  }
  std::vector<uint8_t> out = with_resources(stub, pe, std::move(resources));
  check_reads_back(out, has_version);
  return out;
}

}  // namespace tvpack
