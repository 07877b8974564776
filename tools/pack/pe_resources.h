// The resources of a PE file: the resource tree read into a flat list, a new
// resource section written from one, and the stub made the product's own (its icon
// and version information) with every other resource kept byte for byte.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ico.h"
#include "pe_image.h"

namespace tvpack {

struct InstallerInfo;

constexpr uint32_t kRtIcon = 3;
constexpr uint32_t kRtDialog = 5;
constexpr uint32_t kRtGroupIcon = 14;
constexpr uint32_t kRtVersion = 16;
constexpr uint32_t kRtManifest = 24;

// A type or a name in the tree: a number, or a string when `name` is not empty.
struct ResourceId {
  uint32_t id = 0;
  std::u16string name;
};
bool operator<(const ResourceId& a, const ResourceId& b);
bool operator==(const ResourceId& a, const ResourceId& b);

struct Resource {
  ResourceId type, name;
  uint16_t language = 0;
  uint32_t codepage = 0;
  std::vector<uint8_t> data;
};

// Every resource of a PE file (type, name, language; in the tree's order), or an empty
// list when it has no resource directory. Returns false and says why in *why (one
// phrase) when the tree is damaged; nothing is read outside the file.
bool read_resources(const uint8_t* data, size_t size, const PeLayout& pe, std::vector<Resource>* out,
                    std::string* why);

// A resource section at rva holding the resources (sorted as the loader's binary
// search needs; no time stamps, so the same resources give the same bytes). Throws
// std::runtime_error (one phrase) for two of one type, name and language.
std::vector<uint8_t> write_resource_section(std::vector<Resource> resources, uint32_t rva);

// The stub with its resources made the product's: the icon's images (none: the stub's
// icons stay) as RT_ICON resources and one RT_GROUP_ICON with the lowest id, the
// version information with the values of `info` (a value left out keeps the stub's)
// and OriginalFilename = output_name. The resource section is rewritten where it was;
// the sections after it (the relocations) move behind it. Returns the stub as it is
// when there is nothing to write (no icon, no version information). Throws
// std::runtime_error (one phrase, to follow "the stub ") when the stub cannot take it.
std::vector<uint8_t> with_product_resources(const std::vector<uint8_t>& stub, const InstallerInfo& info,
                                            const std::vector<IconImage>& icon,
                                            const std::u16string& output_name);

// The stub with its resource section holding these resources instead (the layout
// with_product_resources describes); throws as it does.
std::vector<uint8_t> with_resources(const std::vector<uint8_t>& stub, std::vector<Resource> resources);

// An icon image of a resource section as inspect lists it: as its group describes it
// (the sizes and bit count Windows chooses by), PNG when the image is one.
struct IconImageSummary {
  uint32_t width = 0, height = 0;
  uint16_t bit_count = 0;
  bool png = false;
};
// The images of the first icon group (the one Explorer shows): false when there is none.
bool first_icon_group(const std::vector<Resource>& resources, ResourceId* group,
                      std::vector<IconImageSummary>* images);

}  // namespace tvpack
