// Version information read from a PE file and written again, and which of the
// product's values go into it.
#include "pe/version_info.h"

#include <algorithm>

#include "common/errors.h"
#include "pe/pe_image.h"
#include "pe/pe_resources.h"
#include "base/bytes.h"
#include "base/text16.h"

namespace tvpack {
namespace {

constexpr size_t kFixedSize = 52;
constexpr uint32_t kFixedSignature = 0xFEEF04BDu;
constexpr int kMaxDepth = 4;  // VS_VERSIONINFO > StringFileInfo > table > value

size_t align4(size_t x) { return size_t(align_up(x, 4)); }

// The bytes of the version resource.
struct Span {
  const uint8_t* p;
  size_t size;
};

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
  size_t length = tv::le16(res.p + at);
  if (length < 6 || length > limit - at) return false;
  n->end = at + length;
  size_t value_length = tv::le16(res.p + at + 2);
  n->text = tv::le16(res.p + at + 4) == 1;
  n->key.clear();
  size_t pos = at + 6;
  for (;; pos += 2) {
    if (pos + 2 > n->end) return false;
    char16_t c = tv::le16(res.p + pos);
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
    char16_t c = tv::le16(res.p + n.value_at + i);
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
    } else if (depth == 2 && table == "VarFileInfo") {
      const uint8_t* value = res.p + child.value_at;
      out->vars.push_back({key, std::vector<uint8_t>(value, value + child.value_bytes)});
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

VersionInfo parse_version_resource(const uint8_t* data, size_t size) {
  Span res{data, size};
  VersionInfo info;
  Node root;
  if (!read_node(res, 0, res.size, &root) || tv::u16_to_utf8(root.key) != "VS_VERSION_INFO")
    fail("has damaged version information");
  if (root.value_bytes >= kFixedSize && tv::le32(res.p + root.value_at) == kFixedSignature) {
    const uint8_t* fixed = res.p + root.value_at;
    info.fixed.assign(fixed, fixed + kFixedSize);
    uint32_t parts[4] = {tv::le32(fixed + 8), tv::le32(fixed + 12), tv::le32(fixed + 16), tv::le32(fixed + 20)};
    for (int i = 0; i < 2; ++i) {
      info.file_version[2 * i] = uint16_t(parts[i] >> 16);
      info.file_version[2 * i + 1] = uint16_t(parts[i]);
      info.product_version[2 * i] = uint16_t(parts[2 + i] >> 16);
      info.product_version[2 * i + 1] = uint16_t(parts[2 + i]);
    }
  }
  if (!read_children(res, root, 1, "", &info)) fail("has damaged version information");
  return info;
}

VersionInfo read_version_info(const uint8_t* data, size_t size) {
  return version_info_of(read_resources(data, size, parse_pe(data, size)));
}

VersionInfo version_info_of(const std::vector<Resource>& resources) {
  if (resources.empty()) fail("has no resources");
  for (const Resource& r : resources)
    if (is_type(r, kRtVersion)) return parse_version_resource(r.data.data(), r.data.size());
  fail("has no version information");
}

namespace {

// Appends a 16-bit little-endian number.
void append16(std::vector<uint8_t>& out, uint32_t v) {
  out.resize(out.size() + 2);
  tv::put16(&out[out.size() - 2], v);
}
void pad4(std::vector<uint8_t>& out) { out.resize(align4(out.size()), 0); }

// Appends one node: its header, key and value, then what `children` appends; its
// length is set once they are in.
template <class Children>
void write_node(std::vector<uint8_t>& out, const std::string& key, bool text, const std::vector<uint8_t>& value,
                size_t value_length, Children children) {
  pad4(out);
  size_t at = out.size();
  append16(out, 0);
  append16(out, uint32_t(value_length));
  append16(out, text ? 1 : 0);
  for (char16_t c : tv::utf8_to_u16(key)) append16(out, c);
  append16(out, 0);
  pad4(out);
  out.insert(out.end(), value.begin(), value.end());
  children();
  size_t length = out.size() - at;
  if (length > 0xFFFF || value_length > 0xFFFF)
    fail("has version information too long to write again");
  tv::put16(&out[at], uint32_t(length));
}

void no_children() {}

}  // namespace

std::vector<uint8_t> write_version_resource(const VersionInfo& info) {
  std::vector<uint8_t> fixed = info.fixed;
  if (fixed.size() >= kFixedSize) {
    const uint16_t* v[2] = {info.file_version, info.product_version};
    for (int i = 0; i < 4; ++i) {
      tv::put32(&fixed[8 + 4 * i], uint32_t(v[i / 2][2 * (i % 2)]) << 16 | v[i / 2][2 * (i % 2) + 1]);
    }
  }
  std::vector<uint8_t> out;
  write_node(out, "VS_VERSION_INFO", false, fixed, fixed.size(), [&] {
    if (!info.strings.empty()) {
      write_node(out, "StringFileInfo", true, {}, 0, [&] {
        for (size_t i = 0; i < info.strings.size();) {
          size_t end = i;
          while (end < info.strings.size() && info.strings[end].block == info.strings[i].block) ++end;
          write_node(out, info.strings[i].block, true, {}, 0, [&] {
            for (; i < end; ++i) {
              std::vector<uint8_t> text;
              std::u16string value = tv::utf8_to_u16(info.strings[i].value);
              for (char16_t c : value) append16(text, c);
              append16(text, 0);
              write_node(out, info.strings[i].name, true, text, value.size() + 1, no_children);
            }
          });
        }
      });
    }
    if (!info.vars.empty()) {
      write_node(out, "VarFileInfo", true, {}, 0, [&] {
        for (const VersionInfo::Var& var : info.vars)
          write_node(out, var.name, false, var.value, var.value.size(), no_children);
      });
    }
  });
  return out;
}

namespace {

// The string table the product's values go to: Chinese (PRC), Unicode.
constexpr char kStringBlock[] = "080404B0";

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
  std::vector<uint8_t> fixed(kFixedSize, 0);
  tv::put32(&fixed[0], kFixedSignature);
  tv::put32(&fixed[4], 0x00010000u);
  tv::put32(&fixed[24], 0x3F);        // VS_FFI_FILEFLAGSMASK
  tv::put32(&fixed[32], 0x00040004);  // VOS_NT_WINDOWS32
  tv::put32(&fixed[36], 1);           // VFT_APP
  return fixed;
}

}  // namespace

bool has_version_values(const ProductInfo& p) {
  return p.product_name || p.product_version || p.file_version || p.company || p.copyright || p.description ||
         p.product_version_number || p.file_version_number;
}

// The manifest's reader has filled in the defaults (file_version, description).
std::vector<uint8_t> product_version_resource(const std::vector<uint8_t>& stub_version, const ProductInfo& product,
                                              const std::u16string& output_name) {
  VersionInfo info = parse_version_resource(stub_version.data(), stub_version.size());
  auto set = [&info](const char* name, const std::optional<std::u16string>& value) {
    if (value) set_string(&info, name, *value);
  };
  set("ProductName", product.product_name);
  set("ProductVersion", product.product_version);
  set("FileVersion", product.file_version);
  set("CompanyName", product.company);
  set("LegalCopyright", product.copyright);
  set("FileDescription", product.description);
  set_string(&info, "OriginalFilename", output_name);
  const auto& file_number = product.file_version_number;
  if ((file_number || product.product_version_number) && info.fixed.empty()) info.fixed = new_fixed_part();
  if (file_number) std::copy(file_number->begin(), file_number->end(), info.file_version);
  if (product.product_version_number)
    std::copy(product.product_version_number->begin(), product.product_version_number->end(), info.product_version);
  return write_version_resource(info);
}

}  // namespace tvpack
