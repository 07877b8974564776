// The resources of any PE file, as inspect reads them from a file a user hands it (the
// tree, the first icon group, the version information) and as the maker rewrites them:
// reading says yes or no; version information read is written and read back the same;
// a file the writer takes comes out as a PE file whose resources read back, with the
// product's name in its version information.
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "manifest.h"
#include "pe_image.h"
#include "pe_resources.h"
#include "version_info.h"

namespace {

std::string strings_of(const tvpack::VersionInfo& info) {
  std::string all;
  for (const auto& v : info.strings) all += v.block + "|" + v.name + "=" + v.value + "\n";
  return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tvpack::PeLayout pe;
  std::vector<tvpack::Resource> resources;
  std::string why;
  if (!tvpack::parse_pe(data, size, &pe, &why)) return 0;
  bool read = tvpack::read_resources(data, size, pe, &resources, &why);
  if (read != why.empty()) std::abort();
  if (!read) return 0;
  tvpack::ResourceId group;
  std::vector<tvpack::IconImageSummary> images;
  tvpack::first_icon_group(resources, &group, &images);

  tvpack::VersionInfo info;
  if (tvpack::read_version_info(data, size, &info, &why)) {
    try {
      std::vector<uint8_t> again = tvpack::write_version_resource(info);
      tvpack::VersionInfo back;
      if (!tvpack::parse_version_resource(again.data(), again.size(), &back)) std::abort();
      if (strings_of(back) != strings_of(info)) std::abort();
    } catch (const std::runtime_error&) {
      // too long to write again: the maker says so
    }
  }

  tvpack::InstallerInfo product;
  product.product_name = u"Fuzz";
  std::vector<uint8_t> stub(data, data + size), out;
  try {
    out = tvpack::with_product_resources(stub, product, {}, u"a.exe");
  } catch (const std::runtime_error&) {
    return 0;
  }
  tvpack::PeLayout written;
  std::vector<tvpack::Resource> rewritten;
  if (!tvpack::parse_pe(out.data(), out.size(), &written, &why) ||
      !tvpack::read_resources(out.data(), out.size(), written, &rewritten, &why))
    std::abort();
  // Every resource comes through but the stub's version information: one stays, the product's.
  auto versions = [](const std::vector<tvpack::Resource>& list) {
    size_t n = 0;
    for (const auto& r : list) n += r.type.name.empty() && r.type.id == tvpack::kRtVersion;
    return n;
  };
  size_t had = versions(resources);
  if (versions(rewritten) != (had != 0)) std::abort();
  if (rewritten.size() != resources.size() - had + (had != 0)) std::abort();
  tvpack::VersionInfo after;
  if (!tvpack::read_version_info(out.data(), out.size(), &after, &why)) std::abort();
  if (strings_of(after).find("|ProductName=Fuzz\n") == std::string::npos) std::abort();
  return 0;
}
