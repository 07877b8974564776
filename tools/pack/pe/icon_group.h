// An icon among a PE file's resources: an icon file's images written as RT_ICON
// resources with their RT_GROUP_ICON, and the first group read back (what Explorer
// shows, as inspect lists it).
#pragma once
#include <cstdint>
#include <vector>

#include "pe/ico.h"
#include "pe/pe_resources.h"

namespace tvpack {

// The icon's images as RT_ICON resources 1..n and their RT_GROUP_ICON, replacing the
// resources' icons; the group takes the lowest id their groups had (1 when none).
void put_icon(std::vector<Resource>* resources, const std::vector<IconImage>& icon, uint16_t language);

// An icon image of a resource section as inspect lists it: as its group describes it
// (the sizes and bit count Windows chooses by), PNG when the image is one.
struct IconImageSummary {
  uint32_t width = 0, height = 0;
  uint16_t bit_count = 0;
  bool png = false;
};
// The images of the first icon group: false when there is none.
bool first_icon_group(const std::vector<Resource>& resources, ResourceId* group,
                      std::vector<IconImageSummary>* images);

}  // namespace tvpack
