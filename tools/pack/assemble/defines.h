// Build-time values: NAME = "VALUE" from the manifest's [define] table and from the
// command line's -D NAME=VALUE (which wins), put in for ${NAME} in the manifest's
// strings before anything else is checked (manifest_defines.cpp).
#pragma once
#include <map>
#include <set>
#include <string>

namespace tvpack {

using Defines = std::map<std::string, std::string>;

// [A-Za-z_][A-Za-z0-9_]*, as errors say it.
constexpr char kDefineNameRule[] = "a name is letters, digits and _, not beginning with a digit";
bool is_define_name(const std::string& name);

// One -D argument, "NAME=VALUE" (the value may be empty and may hold '='). Returns ""
// with *name and *value set, or why it is no definition.
std::string parse_define(const std::string& text, std::string* name, std::string* value);

// The name of names nearest to name, at most 2 edits (a letter added, dropped, changed or
// two swapped) away and not name itself; the first in order among the nearest; "" when none.
std::string nearest_name(const std::string& name, const std::set<std::string>& names);

}  // namespace tvpack
