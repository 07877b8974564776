// UTF-16 text helpers for the portable code. wchar_t is 32-bit on Linux, so the
// portable code never hands char16_t text to the wcs* functions.
#pragma once
#include <cstddef>
#include <cstring>
#include <string>

namespace tv {

// Strings of the install script are used in place, and the script has no
// alignment: a string may start at an odd byte. Every read or write of a unit
// that may come from the script goes through these two, never through a plain
// dereference.
inline char16_t unit_at(const char16_t* s, size_t i) {
  char16_t c;
  std::memcpy(&c, reinterpret_cast<const char*>(s) + 2 * i, 2);
  return c;
}
inline void set_unit(char16_t* s, size_t i, char16_t c) {
  std::memcpy(reinterpret_cast<char*>(s) + 2 * i, &c, 2);
}

// Number of units before the first NUL.
inline size_t u16len(const char16_t* s) {
  size_t n = 0;
  while (unit_at(s, n) != 0) ++n;
  return n;
}

// Ordinal comparison unit by unit as unsigned 16-bit numbers; a prefix orders first.
inline int u16cmp(const char16_t* a, const char16_t* b) {
  for (size_t i = 0;; ++i) {
    char16_t x = unit_at(a, i), y = unit_at(b, i);
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
  }
}

inline bool u16eq(const char16_t* a, const char16_t* b) { return u16cmp(a, b) == 0; }

// Copies src with its NUL into dst of cap units; returns false (dst then holds the
// empty string) when it would not fit.
inline bool u16copy(char16_t* dst, size_t cap, const char16_t* src) {
  size_t n = u16len(src);
  if (cap == 0) return false;
  if (n + 1 > cap) {
    dst[0] = 0;
    return false;
  }
  std::memcpy(dst, src, 2 * (n + 1));
  return true;
}

// UTF-8 <-> UTF-16 for tools, tests and the posix stand-in (never for package data).
std::u16string utf8_to_u16(const std::string& s);
std::string u16_to_utf8(const std::u16string& s);
// A copy of text that may sit at any byte offset ("" for null).
inline std::u16string u16string_at(const char16_t* s) {
  std::u16string copy;
  if (s != nullptr)
    for (size_t i = 0; unit_at(s, i) != 0; ++i) copy.push_back(unit_at(s, i));
  return copy;
}
inline std::string u16_to_utf8(const char16_t* s) { return u16_to_utf8(u16string_at(s)); }

}  // namespace tv
