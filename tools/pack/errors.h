// Errors of the maker: each is one line naming the file it is about (and the
// manifest line where there is one).
#pragma once
#include <filesystem>
#include <stdexcept>
#include <string>

namespace tvpack {

class PackError : public std::runtime_error {
 public:
  explicit PackError(const std::string& line) : std::runtime_error(line) {}
};

// "FILE: what" or "FILE:LINE: what".
[[noreturn]] void fail(const std::filesystem::path& file, const std::string& what);
[[noreturn]] void fail_at(const std::filesystem::path& file, int line, const std::string& what);

// A path for messages, as UTF-8.
std::string show_path(const std::filesystem::path& p);
// UTF-8 text for messages: quoted, control characters as \n, \r, \t or \xNN.
std::string quote(const std::string& text);
std::string quote(const std::u16string& text);
// The same for a listing: escaped as quote() does, without the quotes.
std::string printable(const std::string& text);
std::string printable(const std::u16string& text);
std::string printable(const char16_t* text);  // text of the install script, any offset

// A UTF-8 string as a path (UTF-8 on every system).
std::filesystem::path utf8_path(const std::string& s);

}  // namespace tvpack
