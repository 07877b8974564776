#include "version_info.h"

#include "pe_image.h"
#include "platform/bytes.h"
#include "platform/text16.h"

namespace tvpack {
namespace {

using tv::le16;
using tv::le32;

constexpr uint32_t kResourceDirectory = 2;
constexpr uint32_t kRtVersion = 16;
constexpr uint32_t kSubdirectory = 0x80000000u;
constexpr uint32_t kFixedSignature = 0xFEEF04BDu;
constexpr int kMaxDepth = 4;  // VS_VERSIONINFO > StringFileInfo > table > value

size_t align4(size_t x) { return (x + 3) & ~size_t(3); }

bool fail(std::string* why, const char* text) {
  *why = text;
  return false;
}

// A span of the file: the resource section's bytes, or one resource's.
struct Span {
  const uint8_t* p;
  size_t size;
};

// The file bytes of an RVA range that lies within one section's raw data.
bool map_rva(const uint8_t* data, const PeLayout& pe, uint32_t rva, uint32_t size, Span* out) {
  for (const PeSection& s : pe.sections) {
    if (rva < s.virtual_address) continue;
    uint64_t offset = uint64_t(rva) - s.virtual_address;
    if (offset + size > s.raw_size) continue;
    *out = {data + s.raw_pointer + offset, size};
    return true;
  }
  return false;
}

// The entry of a resource directory at `at` whose id is `id` (any entry for -1):
// its offset field, or false.
bool find_entry(const Span& rsrc, uint32_t at, int64_t id, uint32_t* target) {
  if (at > rsrc.size || rsrc.size - at < 16) return false;
  uint32_t count = uint32_t(le16(rsrc.p + at + 12)) + le16(rsrc.p + at + 14);
  for (uint32_t i = 0; i < count; ++i) {
    uint64_t e = uint64_t(at) + 16 + 8 * uint64_t(i);
    if (e + 8 > rsrc.size) return false;
    uint32_t name = le32(rsrc.p + e);
    if (id < 0 || (!(name & kSubdirectory) && name == id)) {
      *target = le32(rsrc.p + e + 4);
      return true;
    }
  }
  return false;
}

// One node of the version tree: length, value length, type, key, value, children.
struct Node {
  size_t end;
  std::u16string key;
  size_t value_at;
  size_t value_bytes;
  bool text;
  size_t children_at;
};

bool read_node(const Span& res, size_t at, size_t limit, Node* n) {
  if (at > limit || limit - at < 6) return false;
  size_t length = le16(res.p + at);
  if (length < 6 || length > limit - at) return false;
  n->end = at + length;
  size_t value_length = le16(res.p + at + 2);
  n->text = le16(res.p + at + 4) == 1;
  n->key.clear();
  size_t pos = at + 6;
  for (;; pos += 2) {
    if (pos + 2 > n->end) return false;
    char16_t c = le16(res.p + pos);
    if (c == 0) break;
    n->key.push_back(c);
  }
  n->value_at = align4(pos + 2);
  n->value_bytes = n->text ? 2 * value_length : value_length;
  if (n->value_at > n->end) n->value_at = n->end;
  // Some tools count a text value's length in bytes; the node's end bounds it anyway.
  if (n->value_bytes > n->end - n->value_at) {
    if (!n->text) return false;
    n->value_bytes = n->end - n->value_at;
  }
  n->children_at = align4(n->value_at + n->value_bytes);
  return true;
}

std::string text_value(const Span& res, const Node& n) {
  std::u16string s;
  for (size_t i = 0; i + 1 < n.value_bytes; i += 2) {
    char16_t c = le16(res.p + n.value_at + i);
    if (c == 0) break;
    s.push_back(c);
  }
  return tv::u16_to_utf8(s);
}

// Walks the children of a node; string values are gathered under their table.
bool read_children(const Span& res, const Node& parent, int depth, const std::string& table,
                   VersionInfo* out) {
  if (depth > kMaxDepth) return false;
  for (size_t at = parent.children_at; at + 6 <= parent.end;) {
    Node child;
    if (!read_node(res, at, parent.end, &child)) return false;
    std::string key = tv::u16_to_utf8(child.key);
    if (depth == 2 && table == "StringFileInfo") {
      if (!read_children(res, child, depth + 1, key, out)) return false;
    } else if (depth == 3) {
      out->strings.push_back({table, key, text_value(res, child)});
    } else if (depth == 1) {
      if (!read_children(res, child, depth + 1, key, out)) return false;
    }
    at = align4(child.end);
  }
  return true;
}

}  // namespace

bool read_version_info(const uint8_t* data, size_t size, VersionInfo* out, std::string* why) {
  PeLayout pe;
  if (!parse_pe(data, size, &pe, why)) return false;
  uint32_t optional_size = pe.section_table - pe.optional_offset;
  uint32_t directories_at = pe.optional_magic == 0x10B ? 96 : 112;
  uint32_t entry = directories_at + 8 * kResourceDirectory;
  const uint8_t* opt = data + pe.optional_offset;
  if (optional_size < entry + 8 || le32(opt + directories_at - 4) <= kResourceDirectory)
    return fail(why, "has no resources");
  Span rsrc;
  uint32_t rsrc_rva = le32(opt + entry), rsrc_size = le32(opt + entry + 4);
  if (rsrc_rva == 0 || rsrc_size == 0) return fail(why, "has no resources");
  if (!map_rva(data, pe, rsrc_rva, rsrc_size, &rsrc))
    return fail(why, "has a resource directory outside its sections");

  // Type 16, its first name, its first language: a data entry.
  uint32_t at = 0;
  if (!find_entry(rsrc, at, kRtVersion, &at)) return fail(why, "has no version information");
  for (int level = 0; level < 2; ++level) {
    if (!(at & kSubdirectory) || !find_entry(rsrc, at & ~kSubdirectory, -1, &at))
      return fail(why, "has a damaged resource directory");
  }
  if ((at & kSubdirectory) || at > rsrc.size || rsrc.size - at < 8)
    return fail(why, "has a damaged resource directory");
  Span res;
  if (!map_rva(data, pe, le32(rsrc.p + at), le32(rsrc.p + at + 4), &res))
    return fail(why, "has version information outside its sections");

  VersionInfo info;
  Node root;
  if (!read_node(res, 0, res.size, &root) || tv::u16_to_utf8(root.key) != "VS_VERSION_INFO")
    return fail(why, "has damaged version information");
  if (root.value_bytes >= 52 && le32(res.p + root.value_at) == kFixedSignature) {
    const uint8_t* fixed = res.p + root.value_at;
    uint32_t parts[4] = {le32(fixed + 8), le32(fixed + 12), le32(fixed + 16), le32(fixed + 20)};
    for (int i = 0; i < 2; ++i) {
      info.file_version[2 * i] = uint16_t(parts[i] >> 16);
      info.file_version[2 * i + 1] = uint16_t(parts[i]);
      info.product_version[2 * i] = uint16_t(parts[2 + i] >> 16);
      info.product_version[2 * i + 1] = uint16_t(parts[2 + i]);
    }
  }
  if (!read_children(res, root, 1, "", &info)) return fail(why, "has damaged version information");
  *out = info;
  return true;
}

}  // namespace tvpack
