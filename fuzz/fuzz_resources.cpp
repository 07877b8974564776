// The resources of any PE file, as inspect reads them from a file a user hands it (the
// tree, the first icon group, the version information) and as the maker rewrites them:
// reading reads or refuses (a PackError); version information read is written and read
// back the same; a file the writer takes comes out as a PE file whose resources read
// back, with the product's name in its version information.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/errors.h"
#include "pe/icon_group.h"
#include "pe/pe_image.h"
#include "pe/pe_resources.h"
#include "pe/product.h"
#include "base/resource_ids.h"
#include "pe/version_info.h"

namespace {

std::string strings_of(const tvpack::VersionInfo& info) {
  std::string all;
  for (const auto& v : info.strings) all += v.block + "|" + v.name + "=" + v.value + "\n";
  return all;
}

// Whether the call read its input: false when it refused it (a PackError, never
// another exception).
template <class Read>
bool reads(Read read) {
  try {
    read();
    return true;
  } catch (const tvpack::PackError&) {
    return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tvpack::PeLayout pe;
  std::vector<tvpack::Resource> resources;
  if (!reads([&] { pe = tvpack::parse_pe(data, size); })) return 0;
  if (!reads([&] { resources = tvpack::read_resources(data, size, pe); })) return 0;
  tvpack::ResourceId group;
  std::vector<tvpack::IconImageSummary> images;
  tvpack::first_icon_group(resources, &group, &images);

  tvpack::VersionInfo info;
  if (reads([&] { info = tvpack::read_version_info(data, size); })) {
    std::vector<uint8_t> again;
    // Too long to write again is refused: the maker says so.
    if (reads([&] { again = tvpack::write_version_resource(info); })) {
      tvpack::VersionInfo back;
      if (!reads([&] { back = tvpack::parse_version_resource(again.data(), again.size()); })) std::abort();
      if (strings_of(back) != strings_of(info)) std::abort();
    }
  }

  tvpack::ProductInfo product;
  product.product_name = u"Fuzz";
  product.folder_name = u"Fz";
  std::vector<uint8_t> stub(data, data + size), out;
  if (!reads([&] { out = tvpack::with_product_resources(stub, product, u"a.exe"); })) return 0;
  std::vector<tvpack::Resource> rewritten;
  auto read_again = [&] {
    rewritten = tvpack::read_resources(out.data(), out.size(), tvpack::parse_pe(out.data(), out.size()));
  };
  if (!reads(read_again)) std::abort();
  // Every resource comes through but the stub's version information: one stays, the product's.
  auto versions = [](const std::vector<tvpack::Resource>& list) {
    size_t n = 0;
    for (const auto& r : list) n += r.type.name.empty() && r.type.id == tvpack::kRtVersion;
    return n;
  };
  // ...and of the folder names, one, the product's.
  auto folder_names = [](const std::vector<tvpack::Resource>& list, std::vector<uint8_t>* last) {
    size_t n = 0;
    for (const auto& r : list) {
      if (!r.type.name.empty() || r.type.id != tv::kRtRcdataType || !r.name.name.empty() || r.name.id != tv::kFolderNameId)
        continue;
      *last = r.data;
      ++n;
    }
    return n;
  };
  std::vector<uint8_t> folder;
  size_t had = versions(resources), had_folders = folder_names(resources, &folder);
  if (versions(rewritten) != (had != 0)) std::abort();
  if (folder_names(rewritten, &folder) != 1 || folder != std::vector<uint8_t>{'F', 0, 'z', 0}) std::abort();
  if (rewritten.size() != resources.size() - had + (had != 0) - had_folders + 1) std::abort();
  tvpack::VersionInfo after;
  if (!reads([&] { after = tvpack::read_version_info(out.data(), out.size()); })) std::abort();
  if (strings_of(after).find("|ProductName=Fuzz\n") == std::string::npos) std::abort();
  return 0;
}
