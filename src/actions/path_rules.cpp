// The names Windows cannot hold as written (devices, trailing dots and spaces), the
// characters no name holds, the product's folder name, and the folders Windows
// cannot use as typed.
#include "actions/path_rules.h"

#include "base/text16.h"
#include "platform/platform.h"

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

NameVerdict judge_folder_name(const char16_t* name, size_t units) {
  if (units == 0) return {NameFault::kEmpty, 0};
  if (units > kMaxFolderNameUnits) return {NameFault::kTooLong, 0};
  for (size_t i = 0; i < units; ++i) {
    char16_t c = unit_at(name, i);
    if (c == u'\\' || c == u'/') return {NameFault::kSeparator, i};
    if (forbidden_in_name(c)) return {NameFault::kForbidden, i};
  }
  bool dots = unit_at(name, 0) == u'.' && (units == 1 || (units == 2 && unit_at(name, 1) == u'.'));
  return {dots || windows_cannot_hold(name, units) ? NameFault::kCannotHold : NameFault::kNone, 0};
}

namespace {

bool is_ascii_letter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

// The end of the name that starts at `at`: the next backslash or the end.
size_t name_end(const char16_t* folder, size_t at) {
  while (unit_at(folder, at) != 0 && unit_at(folder, at) != u'\\') ++at;
  return at;
}

// Every name from `at` on; the first bad one is the fault.
FolderShape judge_names(const char16_t* folder, size_t at, FolderShape shape) {
  for (;;) {
    size_t end = name_end(folder, at);
    if (!is_folder_name(folder + at, end - at))
      return {FolderFault::kBadName, shape.root, at, end - at};
    if (unit_at(folder, end) == 0) return shape;
    at = end + 1;
  }
}

// "\\server\share" then names; the server and the share are judged as names too
// ("\\.\" is the device space, never a folder).
FolderShape judge_share(const char16_t* folder) {
  size_t server_end = name_end(folder, 2);
  if (unit_at(folder, server_end) == 0) return {FolderFault::kNotFull, 0, 0, 0};
  size_t share_end = name_end(folder, server_end + 1);
  FolderShape shape = judge_names(folder, 2, {FolderFault::kNone, share_end, 0, 0});
  if (shape.fault == FolderFault::kNone && unit_at(folder, share_end) == 0)
    shape.fault = FolderFault::kRoot;
  return shape;
}

}  // namespace

FolderShape judge_folder(const char16_t* folder) {
  size_t units = u16len(folder);
  bool drive = units >= 2 && is_ascii_letter(unit_at(folder, 0)) && unit_at(folder, 1) == u':';
  for (size_t i = 0; i < units; ++i) {
    char16_t c = unit_at(folder, i);
    if ((forbidden_in_name(c) || c == u'/') && !(drive && i == 1))
      return {FolderFault::kBadCharacter, 0, 0, 0};
  }
  if (drive) {
    if (units == 2) return {FolderFault::kRoot, 2, 0, 0};
    if (unit_at(folder, 2) != u'\\') return {FolderFault::kNotFull, 0, 0, 0};
    return judge_names(folder, 3, {FolderFault::kNone, 2, 0, 0});
  }
  if (units >= 2 && unit_at(folder, 0) == u'\\' && unit_at(folder, 1) == u'\\')
    return judge_share(folder);
  return {FolderFault::kNotFull, 0, 0, 0};
}

bool folder_holds(const char16_t* folder, const char16_t* inner) {
  size_t units = u16len(folder);
  for (size_t i = 0; i < units; ++i)
    if (unit_at(inner, i) == 0) return false;
  char16_t after = unit_at(inner, units);
  return (after == 0 || after == u'\\') && same_ignoring_case(folder, inner, units);
}

void strip_trailing_backslashes(char16_t* text) {
  if (text == nullptr) return;
  size_t n = u16len(text);
  while (n > 0 && unit_at(text, n - 1) == u'\\') --n;
  set_unit(text, n, 0);
}

}  // namespace tv
