// The maker's errors and the quoting of the texts they show.
#include "common/errors.h"

#include <cstdio>

#include "platform/text16.h"

namespace tvpack {

void fail(const std::string& phrase) { throw PackError(phrase); }

// An error stays one line whatever text it quotes (a parser's message may hold the
// very line feed or control character it complains about).
void fail(const std::filesystem::path& file, const std::string& what) {
  throw PackError(printable(show_path(file) + ": " + what));
}

void fail_at(const std::filesystem::path& file, int line, const std::string& what) {
  throw PackError(printable(show_path(file) + ":" + std::to_string(line) + ": " + what));
}

std::string show_path(const std::filesystem::path& p) { return p.u8string(); }

std::string quote(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += char(c);
    }
  }
  return out + "\"";
}

std::string quote(const std::u16string& text) { return quote(tv::u16_to_utf8(text)); }

std::string printable(const std::string& text) {
  std::string q = quote(text);
  return q.substr(1, q.size() - 2);
}
std::string printable(const std::u16string& text) { return printable(tv::u16_to_utf8(text)); }
std::string printable(const char16_t* text) { return printable(tv::u16string_at(text)); }

std::filesystem::path utf8_path(const std::string& s) { return std::filesystem::u8path(s); }

}  // namespace tvpack
