// The icon's resources: written from an icon file's images, and read back for inspect.
#include "pe/icon_group.h"

#include <algorithm>
#include <map>

#include "base/bytes.h"

namespace tvpack {

using tv::le16;
using tv::put16;
using tv::put32;

void put_icon(std::vector<Resource>* resources, const std::vector<IconImage>& icon, uint16_t language) {
  uint32_t group_id = 0;
  for (const Resource& r : *resources)
    if (is_type(r, kRtGroupIcon) && r.name.name.empty() && (group_id == 0 || r.name.id < group_id))
      group_id = r.name.id;
  if (group_id == 0) group_id = 1;
  resources->erase(
      std::remove_if(resources->begin(), resources->end(),
                     [](const Resource& r) { return is_type(r, kRtIcon) || is_type(r, kRtGroupIcon); }),
      resources->end());
  Resource group;
  group.type.id = kRtGroupIcon;
  group.name.id = group_id;
  group.language = language;
  group.data.assign(6 + 14 * icon.size(), 0);
  put16(&group.data[2], 1);
  put16(&group.data[4], uint32_t(icon.size()));
  for (size_t i = 0; i < icon.size(); ++i) {
    const IconImage& image = icon[i];
    uint8_t* e = &group.data[6 + 14 * i];
    e[0] = image.width;
    e[1] = image.height;
    e[2] = image.color_count;
    put16(e + 4, image.planes);
    put16(e + 6, image.bit_count);
    put32(e + 8, uint32_t(image.data.size()));
    put16(e + 12, uint32_t(i + 1));
    Resource r;
    r.type.id = kRtIcon;
    r.name.id = uint32_t(i + 1);
    r.language = language;
    r.data = image.data;
    resources->push_back(std::move(r));
  }
  resources->push_back(std::move(group));
}

bool first_icon_group(const std::vector<Resource>& resources, ResourceId* group,
                      std::vector<IconImageSummary>* images) {
  auto g = std::find_if(resources.begin(), resources.end(),
                        [](const Resource& r) { return is_type(r, kRtGroupIcon); });
  if (g == resources.end()) return false;
  *group = g->name;
  images->clear();
  // Which icon images are PNGs, by id (the last of one id wins), looked up once each.
  std::map<uint32_t, bool> png;
  for (const Resource& r : resources)
    if (is_type(r, kRtIcon) && r.name.name.empty())
      png[r.name.id] = is_png(r.data.data(), r.data.size());
  const std::vector<uint8_t>& d = g->data;
  size_t n = d.size() >= 6 ? le16(&d[4]) : 0;
  for (size_t i = 0; i < n && 6 + 14 * (i + 1) <= d.size(); ++i) {
    const uint8_t* e = &d[6 + 14 * i];
    IconImageSummary s;
    s.width = e[0] ? e[0] : 256;
    s.height = e[1] ? e[1] : 256;
    s.bit_count = le16(e + 6);
    auto found = png.find(le16(e + 12));
    s.png = found != png.end() && found->second;
    images->push_back(s);
  }
  return true;
}

}  // namespace tvpack
