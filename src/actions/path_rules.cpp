// The names Windows cannot hold as written: devices, and trailing dots and spaces.
#include "actions/path_rules.h"

#include "base/text16.h"

namespace tv {
namespace {

// The first `units` units of name spell word (upper-case ASCII), in any case.
bool spells(const char16_t* name, size_t units, const char* word) {
  size_t i = 0;
  for (; word[i] != 0; ++i) {
    if (i == units) return false;
    char16_t c = unit_at(name, i);
    if (c >= u'a' && c <= u'z') c = char16_t(c - u'a' + u'A');
    if (c != char16_t(word[i])) return false;
  }
  return i == units;
}

// Windows numbers its ports with the digits and with the superscripts one to three.
bool is_port_number(char16_t c) {
  return (c >= u'0' && c <= u'9') || c == u'\u00B9' || c == u'\u00B2' || c == u'\u00B3';
}

// base: the units before the first dot, trailing spaces removed.
bool names_device(const char16_t* name, size_t base) {
  static const char kDevices[][8] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : kDevices)
    if (spells(name, base, device)) return true;
  return base == 4 && is_port_number(unit_at(name, 3)) &&
         (spells(name, 3, "COM") || spells(name, 3, "LPT"));
}

}  // namespace

bool windows_cannot_hold(const char16_t* name, size_t units) {
  size_t base = 0;
  while (base < units && unit_at(name, base) != u'.') ++base;
  while (base > 0 && unit_at(name, base - 1) == u' ') --base;
  if (names_device(name, base)) return true;
  if (units == 0) return false;
  char16_t last = unit_at(name, units - 1);
  if (last != u'.' && last != u' ') return false;
  bool dot_or_dots = last == u'.' && (units == 1 || (units == 2 && unit_at(name, 0) == u'.'));
  return !dot_or_dots;
}

}  // namespace tv
