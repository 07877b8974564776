// The resource tree of a PE file, read and written, and a resource section rewritten
// in place.
#include "pe/pe_resources.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "common/errors.h"
#include "base/bytes.h"

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
  void read(uint32_t at, int level, Resource* path, std::vector<Resource>* out) {
    if (at > size_ || size_ - at < 16) fail("has a damaged resource directory");
    uint32_t count = uint32_t(le16(rsrc_ + at + 12)) + le16(rsrc_ + at + 14);
    if (uint64_t(count) * 8 > size_ - at - 16) fail("has a damaged resource directory");
    for (uint32_t i = 0; i < count; ++i) {
      if (++entries_ > kMaxEntries) fail("has too many resources");
      const uint8_t* e = rsrc_ + at + 16 + 8 * i;
      uint32_t name = le32(e), target = le32(e + 4);
      ResourceId id;
      if (!read_id(name, &id)) fail("has a damaged resource name");
      count_names(id);
      bool leaf = level == 2;
      if (leaf != !(target & kHighBit) || (leaf && !id.name.empty()) || (leaf && id.id > 0xFFFF))
        fail("has a damaged resource directory");
      if (level == 0) path->type = id;
      if (level == 1) path->name = id;
      if (leaf)
        read_data(target, uint16_t(id.id), path, out);
      else
        read(target & ~kHighBit, level + 1, path, out);
    }
  }

 private:
  void read_data(uint32_t target, uint16_t language, Resource* path, std::vector<Resource>* out) {
    if (target > size_ || size_ - target < 16) fail("has a damaged resource directory");
    uint32_t rva = le32(rsrc_ + target), length = le32(rsrc_ + target + 4);
    const uint8_t* bytes = map_rva(file_, pe_, rva, length);
    if (bytes == nullptr) fail("has a resource outside its sections");
    if ((data_bytes_ += length) > file_size_) fail("has a damaged resource directory");
    count_names(path->type);
    count_names(path->name);
    path->language = language;
    path->codepage = le32(rsrc_ + target + 8);
    path->data.assign(bytes, bytes + length);
    out->push_back(*path);
  }

  // Names read and copied into each resource: entries that share one long name may not
  // multiply it past the file's size and an allowance.
  void count_names(const ResourceId& id) {
    if ((name_bytes_ += 2 * id.name.size()) > file_size_ + kNameAllowance) fail("has too many resource names");
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

// The tree as written: the root, the name directories of each type, the language
// directories of each name (each level after the one above), then the data entries,
// the names' strings and the data.
struct Dir {
  std::vector<ResourceId> ids;
  std::vector<uint32_t> targets;  // offsets of the directories or data entries below
  uint32_t at = 0;
};
struct TreeLayout {
  Dir root;
  std::vector<Dir> types, names;
  uint32_t data_entries = 0;
  std::map<std::u16string, uint32_t> strings;  // offset of each name's string
  std::vector<uint32_t> data_at;
  uint32_t size = 0;
};

void lay_out_directories(const std::vector<Resource>& resources, TreeLayout* t) {
  for (size_t i = 0; i < resources.size(); ++i) {
    const Resource& r = resources[i];
    bool new_type = i == 0 || !(r.type == resources[i - 1].type);
    if (new_type) {
      t->root.ids.push_back(r.type);
      t->types.emplace_back();
    }
    if (new_type || !(r.name == resources[i - 1].name)) {
      t->types.back().ids.push_back(r.name);
      t->names.emplace_back();
    }
    t->names.back().ids.push_back({r.language, {}});
  }
  uint32_t at = 16 + 8 * uint32_t(t->root.ids.size());
  for (Dir& d : t->types) d.at = at, at += 16 + 8 * uint32_t(d.ids.size());
  for (Dir& d : t->names) d.at = at, at += 16 + 8 * uint32_t(d.ids.size());
  t->data_entries = at;
  size_t name_index = 0, leaf = 0;
  for (const Dir& d : t->types) t->root.targets.push_back(kHighBit | d.at);
  for (Dir& d : t->types)
    for (size_t n = 0; n < d.ids.size(); ++n) d.targets.push_back(kHighBit | t->names[name_index++].at);
  for (Dir& d : t->names)
    for (size_t l = 0; l < d.ids.size(); ++l) d.targets.push_back(t->data_entries + 16 * uint32_t(leaf++));
}

TreeLayout lay_out_tree(const std::vector<Resource>& resources) {
  TreeLayout t;
  lay_out_directories(resources, &t);
  uint32_t at = t.data_entries + 16 * uint32_t(resources.size());
  auto add_strings = [&](const Dir& d) {
    for (const ResourceId& id : d.ids)
      if (!id.name.empty() && t.strings.emplace(id.name, at).second) at += 2 + 2 * uint32_t(id.name.size());
  };
  add_strings(t.root);
  for (const Dir& d : t.types) add_strings(d);
  uint64_t end = at;
  for (const Resource& r : resources) {
    end = align_up(end, 8);
    t.data_at.push_back(uint32_t(end));
    end += r.data.size();
    if (end > 0x7FFFFFFF) fail("with these resources would exceed 2 GiB");
  }
  t.size = uint32_t(end);
  return t;
}

void write_dir(const Dir& d, const std::map<std::u16string, uint32_t>& strings, std::vector<uint8_t>* out) {
  size_t named = 0;
  for (const ResourceId& id : d.ids) named += !id.name.empty();
  put16(&(*out)[d.at + 12], uint32_t(named));
  put16(&(*out)[d.at + 14], uint32_t(d.ids.size() - named));
  for (size_t i = 0; i < d.ids.size(); ++i) {
    const ResourceId& id = d.ids[i];
    put32(&(*out)[d.at + 16 + 8 * i], id.name.empty() ? id.id : kHighBit | strings.at(id.name));
    put32(&(*out)[d.at + 20 + 8 * i], d.targets[i]);
  }
}

// The section that holds the tree, when it can be written again where it starts:
// after the headers, and the sections after it movable: discardable (the relocations,
// debug information), with no data directory but the relocations' pointing into them
// or into the tree's.
size_t rewritable_resource_section(const PeLayout& pe) {
  if (pe.directories.size() <= kResourceDirectory) fail("has no resource directory");
  uint32_t rsrc_rva = pe.directories[kResourceDirectory].rva;
  size_t r = 0;
  while (r < pe.sections.size() && pe.sections[r].virtual_address != rsrc_rva) ++r;
  if (r == pe.sections.size() || pe.sections[r].raw_size == 0) fail("has its resources inside another section");
  const PeSection& old = pe.sections[r];
  // The headers are copied as they are and then brought up to date: the section that is
  // written again must lie after them.
  uint64_t headers_end =
      std::max<uint64_t>(pe.size_of_headers, pe.section_table + kSectionHeaderSize * uint64_t(pe.sections.size()));
  if (old.raw_pointer < headers_end) fail("has its resources inside its headers");
  for (size_t i = 0; i < pe.sections.size(); ++i) {
    const PeSection& s = pe.sections[i];
    uint64_t memory_end = uint64_t(s.virtual_address) + std::max(s.virtual_size, s.raw_size);
    bool ordered = i < r ? memory_end <= old.virtual_address &&
                               (s.raw_size == 0 || uint64_t(s.raw_pointer) + s.raw_size <= old.raw_pointer)
                         : s.virtual_address >= old.virtual_address &&
                               (s.raw_size == 0 || s.raw_pointer >= old.raw_pointer);
    if (!ordered || (i > r && !(s.characteristics & kScnMemDiscardable)))
      fail("has sections after its resources that cannot move (" + s.name + ")");
  }
  for (uint32_t d = 0; d < pe.directories.size(); ++d) {
    uint32_t rva = pe.directories[d].rva;
    if (d != kResourceDirectory && d != kRelocationDirectory && d != kSecurityDirectory && rva != 0 &&
        rva >= old.virtual_address)
      fail("has data after its resources that cannot move (data directory " + std::to_string(d) + ")");
  }
  return r;
}

// The file with the tree in section r and the sections after it moved behind it.
struct Relaid {
  std::vector<uint8_t> file;
  std::vector<PeSection> sections;  // as placed now
  uint64_t memory_end = 0;          // of the last section, aligned
  uint64_t old_raw_end = 0;         // where the sections' raw data ended before
};

Relaid relay_sections(const std::vector<uint8_t>& stub, const PeLayout& pe, size_t r,
                      const std::vector<uint8_t>& tree) {
  const PeSection& old = pe.sections[r];
  Relaid out;
  for (const PeSection& s : pe.sections)
    if (s.raw_size != 0) out.old_raw_end = std::max<uint64_t>(out.old_raw_end, uint64_t(s.raw_pointer) + s.raw_size);
  out.file.assign(stub.begin(), stub.begin() + old.raw_pointer);
  out.sections = pe.sections;
  out.sections[r].virtual_size = uint32_t(tree.size());
  out.sections[r].raw_size = uint32_t(align_up(tree.size(), pe.file_alignment));
  out.file.insert(out.file.end(), tree.begin(), tree.end());
  out.file.resize(uint64_t(old.raw_pointer) + out.sections[r].raw_size, 0);
  out.memory_end = align_up(uint64_t(old.virtual_address) + tree.size(), pe.section_alignment);
  for (size_t i = r + 1; i < out.sections.size(); ++i) {
    PeSection& s = out.sections[i];
    s.virtual_address = uint32_t(out.memory_end);
    out.memory_end =
        align_up(out.memory_end + (s.virtual_size != 0 ? s.virtual_size : s.raw_size), pe.section_alignment);
    if (s.raw_size == 0) continue;
    const PeSection& was = pe.sections[i];
    s.raw_pointer = uint32_t(out.file.size());
    out.file.insert(out.file.end(), stub.begin() + was.raw_pointer, stub.begin() + was.raw_pointer + was.raw_size);
    out.file.resize(align_up(out.file.size(), pe.file_alignment), 0);
  }
  return out;
}

// The headers of the relaid file brought up to date: the symbol table's pointer, the
// section headers, the relocations' and the resources' directories, the sizes, the
// checksum.
void update_headers(const PeLayout& pe, size_t r, uint32_t tree_size, int64_t overlay_moved_by, Relaid* relaid) {
  std::vector<uint8_t>& out = relaid->file;
  uint8_t* coff = out.data() + pe.pe_offset + 4;
  uint32_t symbols = le32(coff + 8);
  if (symbols != 0 && symbols >= relaid->old_raw_end) put32(coff + 8, uint32_t(int64_t(symbols) + overlay_moved_by));
  int64_t initialized = int64_t(pe.size_of_initialized_data);
  for (size_t i = 0; i < relaid->sections.size(); ++i) {
    const PeSection& placed = relaid->sections[i];
    tv::put_pe_section_header(out.data() + pe.section_table + kSectionHeaderSize * i, placed);
    if (placed.characteristics & kScnCntInitializedData)
      initialized += int64_t(placed.raw_size) - int64_t(pe.sections[i].raw_size);
  }
  // The relocations' directory moves with the section that holds it.
  uint32_t reloc_rva = pe.directories.size() > kRelocationDirectory ? pe.directories[kRelocationDirectory].rva : 0;
  for (size_t i = r + 1; i < relaid->sections.size() && reloc_rva != 0; ++i) {
    const PeSection& was = pe.sections[i];
    if (reloc_rva >= was.virtual_address &&
        reloc_rva - was.virtual_address < std::max(was.virtual_size, was.raw_size)) {
      put32(out.data() + pe.directory_offset + 8 * kRelocationDirectory,
            reloc_rva - was.virtual_address + relaid->sections[i].virtual_address);
      break;
    }
  }
  uint8_t* opt = out.data() + pe.optional_offset;
  put32(out.data() + pe.directory_offset + 8 * kResourceDirectory + 4, tree_size);
  put32(opt + 8, uint32_t(std::max<int64_t>(initialized, 0)));
  put32(opt + 56, uint32_t(std::max<uint64_t>(relaid->memory_end,
                                              align_up(pe.sections[r].virtual_address, pe.section_alignment))));
  put32(out.data() + pe.checksum_offset, pe_checksum(out.data(), out.size(), pe.checksum_offset));
}

}  // namespace

bool operator<(const ResourceId& a, const ResourceId& b) {
  // Named entries come first, in the order of their UTF-16 units; then the numbers.
  if (a.name.empty() != b.name.empty()) return !a.name.empty();
  return a.name.empty() ? a.id < b.id : a.name < b.name;
}
bool operator==(const ResourceId& a, const ResourceId& b) { return a.id == b.id && a.name == b.name; }

bool is_type(const Resource& r, uint32_t type) { return r.type.name.empty() && r.type.id == type; }

std::vector<Resource> read_resources(const uint8_t* data, size_t size, const PeLayout& pe) {
  std::vector<Resource> out;
  if (pe.directories.size() <= kResourceDirectory) return out;
  uint32_t rva = pe.directories[kResourceDirectory].rva, length = pe.directories[kResourceDirectory].size;
  if (rva == 0 || length == 0) return out;
  // Offsets in the tree count from its start and may reach to the end of its section.
  for (const PeSection& s : pe.sections) {
    if (rva < s.virtual_address || rva - s.virtual_address >= s.raw_size) continue;
    uint32_t offset = rva - s.virtual_address;
    TreeReader reader(data, size, pe, data + s.raw_pointer + offset, s.raw_size - offset);
    Resource path;
    reader.read(0, 0, &path, &out);
    return out;
  }
  fail("has a resource directory outside its sections");
}

std::vector<uint8_t> write_resource_section(std::vector<Resource> resources, uint32_t rva) {
  std::stable_sort(resources.begin(), resources.end(), [](const Resource& a, const Resource& b) {
    if (!(a.type == b.type)) return a.type < b.type;
    if (!(a.name == b.name)) return a.name < b.name;
    return a.language < b.language;
  });
  for (size_t i = 1; i < resources.size(); ++i)
    if (same_key(resources[i - 1], resources[i])) fail("has two resources of one type, name and language");
  TreeLayout t = lay_out_tree(resources);
  std::vector<uint8_t> out(align_up(t.size, 8), 0);
  write_dir(t.root, t.strings, &out);
  for (const Dir& d : t.types) write_dir(d, t.strings, &out);
  for (const Dir& d : t.names) write_dir(d, t.strings, &out);
  for (const auto& [text, offset] : t.strings) {
    put16(&out[offset], uint32_t(text.size()));
    for (size_t i = 0; i < text.size(); ++i) put16(&out[offset + 2 + 2 * i], text[i]);
  }
  for (size_t i = 0; i < resources.size(); ++i) {
    uint8_t* e = &out[t.data_entries + 16 * i];
    put32(e, rva + t.data_at[i]);
    put32(e + 4, uint32_t(resources[i].data.size()));
    put32(e + 8, resources[i].codepage);
    if (!resources[i].data.empty())
      std::memcpy(&out[t.data_at[i]], resources[i].data.data(), resources[i].data.size());
  }
  return out;
}

std::vector<uint8_t> with_resources(const std::vector<uint8_t>& stub, std::vector<Resource> resources) {
  return with_resources(stub, parse_pe(stub.data(), stub.size()), std::move(resources));
}

std::vector<uint8_t> with_resources(const std::vector<uint8_t>& stub, const PeLayout& pe,
                                    std::vector<Resource> resources) {
  if (pe.certificate_size != 0) fail("is signed; its resources cannot be written (sign the installer after packing)");
  size_t r = rewritable_resource_section(pe);
  std::vector<uint8_t> tree = write_resource_section(std::move(resources), pe.sections[r].virtual_address);
  Relaid relaid = relay_sections(stub, pe, r, tree);
  // What follows the sections in the file (a symbol table) follows them still.
  int64_t overlay_moved_by = int64_t(relaid.file.size()) - int64_t(relaid.old_raw_end);
  relaid.file.insert(relaid.file.end(), stub.begin() + std::min<uint64_t>(relaid.old_raw_end, stub.size()),
                     stub.end());
  if (relaid.memory_end > 0xFFFFFFFFu || relaid.file.size() > 0xFFFFFFFFu) fail("with the icon would exceed 4 GiB");
  update_headers(pe, r, uint32_t(tree.size()), overlay_moved_by, &relaid);
  return relaid.file;
}

}  // namespace tvpack
