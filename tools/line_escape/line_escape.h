// One value on one line of the UI driver's output: a backslash, a line feed and a
// carriage return are written \\, \n and \r, everything else as it is.
#pragma once
#include <string>
#include <string_view>

namespace tv {

// The value as the driver writes it on its output line.
std::string escape_line(std::string_view value);
std::wstring escape_line(std::wstring_view value);

// The value back from its written form. A backslash before any other character, or
// at the end, is kept as it is (the driver never writes one).
std::string unescape_line(std::string_view written);
std::wstring unescape_line(std::wstring_view written);

}  // namespace tv
