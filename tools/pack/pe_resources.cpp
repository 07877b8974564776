// The resource tree of a PE file, read and written, and the stub made the product's
// own: its icon and version information in a resource section rewritten in place.
#include "pe_resources.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <stdexcept>

#include "manifest.h"
#include "platform/bytes.h"
#include "platform/text16.h"
#include "version_info.h"

namespace tvpack {
namespace {

using tv::le16;
using tv::le32;
using tv::put16;
using tv::put32;

constexpr uint32_t kHighBit = 0x80000000u;
constexpr uint32_t kScnMemDiscardable = 0x02000000;
constexpr size_t kMaxEntries = 65536;  // directory entries looked at, shared ones counted again
constexpr uint64_t kNameAllowance = 1u << 20;  // names copied into the resources beyond the file's size
constexpr char kStringBlock[] = "080404B0";

uint64_t align_up(uint64_t x, uint32_t a) { return (x + a - 1) / a * a; }

bool fail(std::string* why, const char* text) {
  *why = text;
  return false;
}

// Where the data directories start in the optional header, and how many there are.
uint32_t directories_at(const PeLayout& pe) { return pe.optional_magic == 0x10B ? 96 : 112; }
uint32_t directory_count(const uint8_t* data, const PeLayout& pe) {
  uint32_t optional_size = pe.section_table - pe.optional_offset;
  uint32_t at = directories_at(pe);
  if (optional_size < at) return 0;
  uint32_t count = le32(data + pe.optional_offset + at - 4);
  return std::min<uint32_t>(count, (optional_size - at) / 8);
}

// The file bytes of an RVA range that lies within one section's raw data.
const uint8_t* map_rva(const uint8_t* data, const PeLayout& pe, uint32_t rva, uint32_t size) {
  for (const PeSection& s : pe.sections) {
    if (rva < s.virtual_address) continue;
    uint64_t offset = uint64_t(rva) - s.virtual_address;
    if (offset + size > s.raw_size) continue;
    return data + s.raw_pointer + offset;
  }
  return nullptr;
}

class TreeReader {
 public:
  TreeReader(const uint8_t* file, size_t file_size, const PeLayout& pe, const uint8_t* rsrc, size_t size)
      : file_(file), file_size_(file_size), pe_(pe), rsrc_(rsrc), size_(size) {}

  // One directory of the tree: types (level 0), names (1) or languages (2).
  bool read(uint32_t at, int level, Resource* path, std::vector<Resource>* out, std::string* why) {
    if (at > size_ || size_ - at < 16) return fail(why, "has a damaged resource directory");
    uint32_t count = uint32_t(le16(rsrc_ + at + 12)) + le16(rsrc_ + at + 14);
    if (uint64_t(count) * 8 > size_ - at - 16) return fail(why, "has a damaged resource directory");
    for (uint32_t i = 0; i < count; ++i) {
      if (++entries_ > kMaxEntries) return fail(why, "has too many resources");
      const uint8_t* e = rsrc_ + at + 16 + 8 * i;
      uint32_t name = le32(e), target = le32(e + 4);
      ResourceId id;
      if (!read_id(name, &id)) return fail(why, "has a damaged resource name");
      if (!count_names(id)) return fail(why, "has too many resource names");
      bool leaf = level == 2;
      if (leaf != !(target & kHighBit) || (leaf && !id.name.empty()) || (leaf && id.id > 0xFFFF))
        return fail(why, "has a damaged resource directory");
      if (level == 0) path->type = id;
      if (level == 1) path->name = id;
      if (!leaf) {
        if (!read(target & ~kHighBit, level + 1, path, out, why)) return false;
        continue;
      }
      if (target > size_ || size_ - target < 16) return fail(why, "has a damaged resource directory");
      uint32_t rva = le32(rsrc_ + target), length = le32(rsrc_ + target + 4);
      const uint8_t* bytes = map_rva(file_, pe_, rva, length);
      if (bytes == nullptr) return fail(why, "has a resource outside its sections");
      if ((data_bytes_ += length) > file_size_) return fail(why, "has a damaged resource directory");
      if (!count_names(path->type) || !count_names(path->name))
        return fail(why, "has too many resource names");
      path->language = uint16_t(id.id);
      path->codepage = le32(rsrc_ + target + 8);
      path->data.assign(bytes, bytes + length);
      out->push_back(*path);
    }
    return true;
  }

 private:
  // Names read and copied into each resource: entries that share one long name may not
  // multiply it past the file's size and an allowance.
  bool count_names(const ResourceId& id) {
    return (name_bytes_ += 2 * id.name.size()) <= file_size_ + kNameAllowance;
  }

  bool read_id(uint32_t name, ResourceId* id) {
    if (!(name & kHighBit)) {
      id->id = name;
      return true;
    }
    uint32_t at = name & ~kHighBit;
    if (at > size_ || size_ - at < 2) return false;
    size_t length = le16(rsrc_ + at);
    if (length == 0 || size_ - at - 2 < 2 * length) return false;
    for (size_t i = 0; i < length; ++i) id->name.push_back(char16_t(le16(rsrc_ + at + 2 + 2 * i)));
    return true;
  }

  const uint8_t* file_;
  size_t file_size_;
  const PeLayout& pe_;
  const uint8_t* rsrc_;
  size_t size_;
  size_t entries_ = 0;
  uint64_t data_bytes_ = 0;  // a tree whose entries share data may not multiply it
  uint64_t name_bytes_ = 0;
};

bool same_key(const Resource& a, const Resource& b) {
  return a.type == b.type && a.name == b.name && a.language == b.language;
}

bool is_type(const Resource& r, uint32_t type) { return r.type.name.empty() && r.type.id == type; }

// The block's value of name set to value; appended to the block when it has none.
void set_string(VersionInfo* info, const std::string& name, const std::u16string& value) {
  size_t after = info->strings.size();
  for (size_t i = 0; i < info->strings.size(); ++i) {
    VersionInfo::Value& v = info->strings[i];
    if (v.block != kStringBlock) continue;
    if (v.name == name) {
      v.value = tv::u16_to_utf8(value);
      return;
    }
    after = i + 1;
  }
  info->strings.insert(info->strings.begin() + after,
                       VersionInfo::Value{kStringBlock, name, tv::u16_to_utf8(value)});
}

// A fixed part for version information that has none: an application for Windows NT.
std::vector<uint8_t> new_fixed_part() {
  std::vector<uint8_t> fixed(52, 0);
  put32(&fixed[0], 0xFEEF04BDu);
  put32(&fixed[4], 0x00010000u);
  put32(&fixed[24], 0x3F);        // VS_FFI_FILEFLAGSMASK
  put32(&fixed[32], 0x00040004);  // VOS_NT_WINDOWS32
  put32(&fixed[36], 1);           // VFT_APP
  return fixed;
}

bool has_version_values(const InstallerInfo& i) {
  return i.product_name || i.product_version || i.file_version || i.company || i.copyright || i.description ||
         i.product_version_number || i.file_version_number;
}

// The version resource of the stub with the product's values (the manifest's reader
// has filled in the defaults: file_version, description).
std::vector<uint8_t> product_version(const Resource& stub_version, const InstallerInfo& in,
                                     const std::u16string& output_name) {
  VersionInfo info;
  if (!parse_version_resource(stub_version.data.data(), stub_version.data.size(), &info))
    throw std::runtime_error("has damaged version information");
  auto set = [&info](const char* name, const std::optional<std::u16string>& value) {
    if (value) set_string(&info, name, *value);
  };
  set("ProductName", in.product_name);
  set("ProductVersion", in.product_version);
  set("FileVersion", in.file_version);
  set("CompanyName", in.company);
  set("LegalCopyright", in.copyright);
  set("FileDescription", in.description);
  set_string(&info, "OriginalFilename", output_name);
  const auto& file_number = in.file_version_number;
  if ((file_number || in.product_version_number) && info.fixed.empty()) info.fixed = new_fixed_part();
  if (file_number) std::copy(file_number->begin(), file_number->end(), info.file_version);
  if (in.product_version_number)
    std::copy(in.product_version_number->begin(), in.product_version_number->end(), info.product_version);
  return write_version_resource(info);
}

// The icon's images as RT_ICON resources 1..n and their RT_GROUP_ICON, replacing the
// stub's icons; the group takes the lowest id the stub's groups had (1 when none).
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

// The written file read as inspect and Windows read it: a tree that does not read back,
// or version information that does not, is not shipped.
void check_reads_back(const std::vector<uint8_t>& out, bool has_version) {
  PeLayout pe;
  std::string why;
  std::vector<Resource> resources;
  VersionInfo info;
  if (!parse_pe(out.data(), out.size(), &pe, &why) || !read_resources(out.data(), out.size(), pe, &resources, &why) ||
      (has_version && !read_version_info(out.data(), out.size(), &info, &why)))
    throw std::runtime_error("has resources that cannot be written so that they read back (" + why + ")");
}

}  // namespace

bool operator<(const ResourceId& a, const ResourceId& b) {
  // Named entries come first, in the order of their UTF-16 units; then the numbers.
  if (a.name.empty() != b.name.empty()) return !a.name.empty();
  return a.name.empty() ? a.id < b.id : a.name < b.name;
}
bool operator==(const ResourceId& a, const ResourceId& b) { return a.id == b.id && a.name == b.name; }

bool read_resources(const uint8_t* data, size_t size, const PeLayout& pe, std::vector<Resource>* out,
                    std::string* why) {
  out->clear();
  if (directory_count(data, pe) <= kResourceDirectory) return true;
  const uint8_t* entry = data + pe.optional_offset + directories_at(pe) + 8 * kResourceDirectory;
  uint32_t rva = le32(entry), length = le32(entry + 4);
  if (rva == 0 || length == 0) return true;
  // Offsets in the tree count from its start and may reach to the end of its section.
  for (const PeSection& s : pe.sections) {
    if (rva < s.virtual_address || rva - s.virtual_address >= s.raw_size) continue;
    uint32_t offset = rva - s.virtual_address;
    TreeReader reader(data, size, pe, data + s.raw_pointer + offset, s.raw_size - offset);
    Resource path;
    return reader.read(0, 0, &path, out, why);
  }
  return fail(why, "has a resource directory outside its sections");
}

std::vector<uint8_t> write_resource_section(std::vector<Resource> resources, uint32_t rva) {
  std::stable_sort(resources.begin(), resources.end(), [](const Resource& a, const Resource& b) {
    if (!(a.type == b.type)) return a.type < b.type;
    if (!(a.name == b.name)) return a.name < b.name;
    return a.language < b.language;
  });
  for (size_t i = 1; i < resources.size(); ++i)
    if (same_key(resources[i - 1], resources[i]))
      throw std::runtime_error("has two resources of one type, name and language");

  // The tree: the root, the name directories of each type, the language directories
  // of each name (each level after the one above), then the data entries, the names'
  // strings and the data.
  struct Dir {
    std::vector<ResourceId> ids;
    std::vector<uint32_t> targets;  // offsets of the directories or data entries below
    uint32_t at = 0;
  };
  Dir root;
  std::vector<Dir> types, names;
  for (size_t i = 0; i < resources.size(); ++i) {
    const Resource& r = resources[i];
    bool new_type = i == 0 || !(r.type == resources[i - 1].type);
    if (new_type) {
      root.ids.push_back(r.type);
      types.emplace_back();
    }
    if (new_type || !(r.name == resources[i - 1].name)) {
      types.back().ids.push_back(r.name);
      names.emplace_back();
    }
    names.back().ids.push_back({r.language, {}});
  }
  uint32_t at = 16 + 8 * uint32_t(root.ids.size());
  for (Dir& d : types) d.at = at, at += 16 + 8 * uint32_t(d.ids.size());
  for (Dir& d : names) d.at = at, at += 16 + 8 * uint32_t(d.ids.size());
  uint32_t data_entries = at;
  at += 16 * uint32_t(resources.size());
  std::map<std::u16string, uint32_t> strings;
  auto add_strings = [&](const Dir& d) {
    for (const ResourceId& id : d.ids)
      if (!id.name.empty() && strings.emplace(id.name, at).second) at += 2 + 2 * uint32_t(id.name.size());
  };
  add_strings(root);
  for (const Dir& d : types) add_strings(d);
  std::vector<uint32_t> data_at;
  uint64_t end = at;
  for (const Resource& r : resources) {
    end = align_up(end, 8);
    data_at.push_back(uint32_t(end));
    end += r.data.size();
    if (end > 0x7FFFFFFF) throw std::runtime_error("with these resources would exceed 2 GiB");
  }
  at = uint32_t(end);

  std::vector<uint8_t> out(align_up(at, 8), 0);
  size_t name_index = 0, leaf = 0;
  for (size_t t = 0; t < types.size(); ++t) root.targets.push_back(kHighBit | types[t].at);
  for (Dir& d : types)
    for (size_t n = 0; n < d.ids.size(); ++n) d.targets.push_back(kHighBit | names[name_index++].at);
  for (Dir& d : names)
    for (size_t l = 0; l < d.ids.size(); ++l) d.targets.push_back(data_entries + 16 * uint32_t(leaf++));
  auto write_dir = [&](const Dir& d) {
    size_t named = 0;
    for (const ResourceId& id : d.ids) named += !id.name.empty();
    put16(&out[d.at + 12], uint32_t(named));
    put16(&out[d.at + 14], uint32_t(d.ids.size() - named));
    for (size_t i = 0; i < d.ids.size(); ++i) {
      const ResourceId& id = d.ids[i];
      put32(&out[d.at + 16 + 8 * i], id.name.empty() ? id.id : kHighBit | strings.at(id.name));
      put32(&out[d.at + 20 + 8 * i], d.targets[i]);
    }
  };
  write_dir(root);
  for (const Dir& d : types) write_dir(d);
  for (const Dir& d : names) write_dir(d);
  for (const auto& [text, offset] : strings) {
    put16(&out[offset], uint32_t(text.size()));
    for (size_t i = 0; i < text.size(); ++i) put16(&out[offset + 2 + 2 * i], text[i]);
  }
  for (size_t i = 0; i < resources.size(); ++i) {
    uint8_t* e = &out[data_entries + 16 * i];
    put32(e, rva + data_at[i]);
    put32(e + 4, uint32_t(resources[i].data.size()));
    put32(e + 8, resources[i].codepage);
    if (!resources[i].data.empty())
      std::memcpy(&out[data_at[i]], resources[i].data.data(), resources[i].data.size());
  }
  return out;
}

std::vector<uint8_t> with_product_resources(const std::vector<uint8_t>& stub, const InstallerInfo& info,
                                            const std::vector<IconImage>& icon,
                                            const std::u16string& output_name) {
  PeLayout pe;
  std::string why;
  std::vector<Resource> resources;
  if (!parse_pe(stub.data(), stub.size(), &pe, &why) ||
      !read_resources(stub.data(), stub.size(), pe, &resources, &why))
    throw std::runtime_error(why);
  auto version = std::find_if(resources.begin(), resources.end(),
                              [](const Resource& r) { return is_type(r, kRtVersion); });
  if (version == resources.end()) {
    if (has_version_values(info))
      throw std::runtime_error("has no version information to write the product's into");
    if (icon.empty()) return stub;
  }
  uint16_t language = 0;
  bool has_version = version != resources.end();
  if (has_version) {
    // The product's version information is the only one the installer carries: a stub
    // with several (other languages, or a type listed twice) would show another's.
    Resource product = *version;
    product.data = product_version(*version, info, output_name);
    language = product.language;
    resources.erase(std::remove_if(resources.begin(), resources.end(),
                                   [](const Resource& r) { return is_type(r, kRtVersion); }),
                    resources.end());
    resources.push_back(std::move(product));
  }
  if (!icon.empty()) {
    if (resources.empty()) throw std::runtime_error("has no resource section to carry the icon");
    put_icon(&resources, icon, language);
  }
  std::vector<uint8_t> out = with_resources(stub, std::move(resources));
  check_reads_back(out, has_version);
  return out;
}

std::vector<uint8_t> with_resources(const std::vector<uint8_t>& stub, std::vector<Resource> resources) {
  PeLayout pe;
  std::string why;
  if (!parse_pe(stub.data(), stub.size(), &pe, &why)) throw std::runtime_error(why);
  if (pe.certificate_size != 0)
    throw std::runtime_error("is signed; its resources cannot be written (sign the installer after packing)");

  // The section that holds the tree is written again where it starts; the sections
  // after it must be movable: discardable (the relocations, debug information), with
  // no data directory but the relocations' pointing into them or into the tree's.
  const uint8_t* opt = stub.data() + pe.optional_offset;
  uint32_t dirs = directories_at(pe), count = directory_count(stub.data(), pe);
  if (count <= kResourceDirectory) throw std::runtime_error("has no resource directory");
  uint32_t rsrc_rva = le32(opt + dirs + 8 * kResourceDirectory);
  size_t r = 0;
  while (r < pe.sections.size() && pe.sections[r].virtual_address != rsrc_rva) ++r;
  if (r == pe.sections.size() || pe.sections[r].raw_size == 0)
    throw std::runtime_error("has its resources inside another section");
  const PeSection old = pe.sections[r];
  // The headers are copied as they are and then brought up to date: the section that is
  // written again must lie after them.
  uint64_t headers_end =
      std::max<uint64_t>(pe.size_of_headers, pe.section_table + 40 * uint64_t(pe.sections.size()));
  if (old.raw_pointer < headers_end)
    throw std::runtime_error("has its resources inside its headers");
  uint64_t old_raw_end = 0;
  for (size_t i = 0; i < pe.sections.size(); ++i) {
    const PeSection& s = pe.sections[i];
    if (s.raw_size != 0) old_raw_end = std::max<uint64_t>(old_raw_end, uint64_t(s.raw_pointer) + s.raw_size);
    uint64_t memory_end = uint64_t(s.virtual_address) + std::max(s.virtual_size, s.raw_size);
    bool ordered = i < r ? memory_end <= old.virtual_address &&
                               (s.raw_size == 0 || uint64_t(s.raw_pointer) + s.raw_size <= old.raw_pointer)
                         : s.virtual_address >= old.virtual_address &&
                               (s.raw_size == 0 || s.raw_pointer >= old.raw_pointer);
    if (!ordered || (i > r && !(s.characteristics & kScnMemDiscardable)))
      throw std::runtime_error("has sections after its resources that cannot move (" + s.name + ")");
  }
  for (uint32_t d = 0; d < count; ++d) {
    uint32_t rva = le32(opt + dirs + 8 * d);
    if (d != kResourceDirectory && d != kRelocationDirectory && d != kSecurityDirectory && rva != 0 &&
        rva >= old.virtual_address)
      throw std::runtime_error("has data after its resources that cannot move (data directory " +
                               std::to_string(d) + ")");
  }

  std::vector<uint8_t> tree = write_resource_section(std::move(resources), old.virtual_address);
  std::vector<uint8_t> out(stub.begin(), stub.begin() + old.raw_pointer);
  std::vector<PeSection> placed = pe.sections;
  placed[r].virtual_size = uint32_t(tree.size());
  placed[r].raw_size = uint32_t(align_up(tree.size(), pe.file_alignment));
  out.insert(out.end(), tree.begin(), tree.end());
  out.resize(uint64_t(old.raw_pointer) + placed[r].raw_size, 0);
  uint64_t memory_end = align_up(uint64_t(old.virtual_address) + tree.size(), pe.section_alignment);
  for (size_t i = r + 1; i < placed.size(); ++i) {
    PeSection& s = placed[i];
    s.virtual_address = uint32_t(memory_end);
    memory_end =
        align_up(memory_end + (s.virtual_size != 0 ? s.virtual_size : s.raw_size), pe.section_alignment);
    if (s.raw_size == 0) continue;
    const PeSection& was = pe.sections[i];
    s.raw_pointer = uint32_t(out.size());
    out.insert(out.end(), stub.begin() + was.raw_pointer, stub.begin() + was.raw_pointer + was.raw_size);
    out.resize(align_up(out.size(), pe.file_alignment), 0);
  }
  // What follows the sections in the file (a symbol table) follows them still.
  int64_t overlay_moved_by = int64_t(out.size()) - int64_t(old_raw_end);
  out.insert(out.end(), stub.begin() + std::min<uint64_t>(old_raw_end, stub.size()), stub.end());
  if (memory_end > 0xFFFFFFFFu || out.size() > 0xFFFFFFFFu)
    throw std::runtime_error("with the icon would exceed 4 GiB");

  uint8_t* coff = out.data() + pe.pe_offset + 4;
  uint32_t symbols = le32(coff + 8);
  if (symbols != 0 && symbols >= old_raw_end) put32(coff + 8, uint32_t(int64_t(symbols) + overlay_moved_by));
  uint8_t* head_opt = out.data() + pe.optional_offset;
  int64_t initialized = int64_t(pe.size_of_initialized_data);
  for (size_t i = 0; i < placed.size(); ++i) {
    uint8_t* sh = out.data() + pe.section_table + 40 * i;
    put32(sh + 8, placed[i].virtual_size);
    put32(sh + 12, placed[i].virtual_address);
    put32(sh + 16, placed[i].raw_size);
    put32(sh + 20, placed[i].raw_pointer);
    if (placed[i].characteristics & kScnCntInitializedData)
      initialized += int64_t(placed[i].raw_size) - int64_t(pe.sections[i].raw_size);
  }
  // The relocations' directory moves with the section that holds it.
  uint8_t* reloc = head_opt + dirs + 8 * kRelocationDirectory;
  uint32_t reloc_rva = count > kRelocationDirectory ? le32(reloc) : 0;
  for (size_t i = r + 1; i < placed.size() && reloc_rva != 0; ++i) {
    const PeSection& was = pe.sections[i];
    if (reloc_rva >= was.virtual_address &&
        reloc_rva - was.virtual_address < std::max(was.virtual_size, was.raw_size)) {
      put32(reloc, reloc_rva - was.virtual_address + placed[i].virtual_address);
      break;
    }
  }
  put32(head_opt + dirs + 8 * kResourceDirectory + 4, uint32_t(tree.size()));
  put32(head_opt + 8, uint32_t(std::max<int64_t>(initialized, 0)));
  put32(head_opt + 56,
        uint32_t(std::max<uint64_t>(memory_end, align_up(old.virtual_address, pe.section_alignment))));
  put32(out.data() + pe.checksum_offset, pe_checksum(out.data(), out.size(), pe.checksum_offset));
  return out;
}

bool first_icon_group(const std::vector<Resource>& resources, ResourceId* group,
                      std::vector<IconImageSummary>* images) {
  auto g = std::find_if(resources.begin(), resources.end(),
                        [](const Resource& r) { return is_type(r, kRtGroupIcon); });
  if (g == resources.end()) return false;
  *group = g->name;
  images->clear();
  // Which icon images are PNGs, by id (the last of one id wins), looked up once each.
  static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::map<uint32_t, bool> png;
  for (const Resource& r : resources)
    if (is_type(r, kRtIcon) && r.name.name.empty())
      png[r.name.id] = r.data.size() >= 8 && std::memcmp(r.data.data(), kPng, 8) == 0;
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
