// Writing a value on one output line of the UI driver, and reading it back.
#include "line_escape.h"

namespace tv {
namespace {

// The rule for any kind of text: the three characters below are the only ones that
// change, and each is ASCII, so UTF-8 and UTF-16 text are escaped alike.
template <typename Char>
std::basic_string<Char> escape(std::basic_string_view<Char> value) {
  std::basic_string<Char> out;
  out.reserve(value.size());
  for (Char c : value) {
    if (c == Char('\\') || c == Char('\n') || c == Char('\r')) {
      out += Char('\\');
      out += c == Char('\n') ? Char('n') : c == Char('\r') ? Char('r') : Char('\\');
    } else {
      out += c;
    }
  }
  return out;
}

template <typename Char>
std::basic_string<Char> unescape(std::basic_string_view<Char> written) {
  std::basic_string<Char> out;
  out.reserve(written.size());
  for (size_t i = 0; i < written.size(); ++i) {
    Char c = written[i];
    Char next = i + 1 < written.size() ? written[i + 1] : Char(0);
    if (c == Char('\\') && (next == Char('\\') || next == Char('n') || next == Char('r'))) {
      out += next == Char('n') ? Char('\n') : next == Char('r') ? Char('\r') : Char('\\');
      ++i;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::string escape_line(std::string_view value) { return escape(value); }
std::wstring escape_line(std::wstring_view value) { return escape(value); }
std::string unescape_line(std::string_view written) { return unescape(written); }
std::wstring unescape_line(std::wstring_view written) { return unescape(written); }

}  // namespace tv
