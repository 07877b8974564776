// Reading a string of a version resource: blocks of (length, value length, type,
// key, value, children), each part 32-bit aligned from the resource's start.
#include "base/version_text.h"

#include "base/bytes.h"

namespace tv {
namespace {

struct Block {
  size_t end;       // one past its last byte
  size_t key;       // its key, UTF-16 and NUL-terminated
  size_t value;     // its value, after the key
  size_t children;  // its first child, after the value
};

size_t align4(size_t at) { return (at + 3) & ~size_t(3); }

// The block at `at`, which must lie wholly before limit, its key included. A value
// or children past the block's end mean it has none.
bool read_block(const uint8_t* data, size_t at, size_t limit, Block* b) {
  if (at >= limit || limit - at < 6) return false;
  size_t length = le16(data + at);
  if (length < 6 || length > limit - at) return false;
  b->end = at + length;
  b->key = at + 6;
  size_t i = b->key;
  for (;; i += 2) {
    if (b->end - i < 2) return false;
    if (data[i] == 0 && data[i + 1] == 0) break;
  }
  b->value = align4(i + 2);
  size_t value_bytes = size_t(le16(data + at + 2)) * (le16(data + at + 4) == 1 ? 2 : 1);
  b->children = align4(b->value + value_bytes);
  return true;
}

bool key_is(const uint8_t* data, const Block& b, const char16_t* key) {
  const uint8_t* k = data + b.key;
  for (size_t i = 0;; ++i) {
    char16_t c = char16_t(k[2 * i] | k[2 * i + 1] << 8);
    if (c != key[i]) return false;
    if (c == 0) return true;
  }
}

// The children of parent, one at a time: false after the last (or a damaged one).
bool next_child(const uint8_t* data, const Block& parent, size_t* at, Block* child) {
  if (!read_block(data, *at, parent.end, child)) return false;
  *at = align4(child->end);
  return true;
}

// The text of a string block: its value up to its NUL or the block's end.
bool copy_value(const uint8_t* data, const Block& b, char16_t* out, size_t out_units) {
  size_t n = 0;
  for (size_t i = b.value; i < b.end && b.end - i >= 2; i += 2) {
    char16_t c = char16_t(data[i] | data[i + 1] << 8);
    if (c == 0) break;
    if (n + 1 >= out_units) return false;
    out[n++] = c;
  }
  if (n == 0) return false;
  out[n] = 0;
  return true;
}

}  // namespace

bool find_version_string(const uint8_t* data, size_t size, const char16_t* key, char16_t* out,
                         size_t out_units) {
  Block root, info, table, text;
  if (data == nullptr || !read_block(data, 0, size, &root)) return false;
  for (size_t i = root.children; next_child(data, root, &i, &info);) {
    if (!key_is(data, info, u"StringFileInfo")) continue;
    for (size_t j = info.children; next_child(data, info, &j, &table);) {
      for (size_t k = table.children; next_child(data, table, &k, &text);) {
        if (key_is(data, text, key)) return copy_value(data, text, out, out_units);
      }
    }
  }
  return false;
}

}  // namespace tv
