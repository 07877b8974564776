// The installer's variables as the maker sees them: the built-in folder variables of
// the stand-in platform, and why a template of the install script would not expand.
#pragma once
#include <string>

namespace tvpack {

// Defines the built-in folder variables from the stand-in's default folder paths,
// on an empty variable table.
void reset_simulated_variables();

// The expansion problem of templ in the current variable table ("" when it expands
// to at most 259 units): an unclosed "{", an unknown variable, or the length.
std::string expansion_problem(const std::u16string& templ);

}  // namespace tvpack
