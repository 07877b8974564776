// Names compared as Windows compares them: each UTF-16 unit replaced by its simple
// uppercase (the file systems' case table), so "Ä.txt" and "ä.txt" are one name and
// "ß" and "SS" are two. Used for the manifest's destinations and by extract.
#pragma once
#include <string>

namespace tvpack {

char16_t upcase_unit(char16_t c);
std::u16string upcase(std::u16string text);

}  // namespace tvpack
