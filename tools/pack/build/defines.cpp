// Build-time values: a name's rule and the -D argument's parser.
#include "build/defines.h"

#include "common/errors.h"
#include "platform/text16.h"

namespace tvpack {

bool is_define_name(const std::string& name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
  for (char c : name)
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
  return true;
}

std::string parse_define(const std::string& text, std::string* name, std::string* value) {
  size_t eq = text.find('=');
  if (eq == std::string::npos) return quote(text) + " has no \"=\": write NAME=VALUE";
  *name = text.substr(0, eq);
  *value = text.substr(eq + 1);
  if (!is_define_name(*name)) return quote(*name) + " is not a name (" + std::string(kDefineNameRule) + ")";
  if (tv::u16_to_utf8(tv::utf8_to_u16(*value)) != *value) return "the value of " + *name + " is not UTF-8";
  return "";
}

}  // namespace tvpack
