// The maker's errors and the quoting of the texts they show.
#include "common/errors.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "base/text16.h"

namespace tvpack {

std::string told(const std::string& line) { return std::string(kMakerName) + ": " + line; }

void tell(std::ostream& err, const std::string& text) {
  for (size_t at = 0, end; at <= text.size(); at = end + 1) {
    end = std::min(text.find('\n', at), text.size());
    err << told(text.substr(at, end - at)) << "\n";
  }
}

std::string said(Said kind, const std::string& what) {
  const char* word = kind == Said::kError ? "error: " : kind == Said::kWarning ? "warning: " : "note: ";
  return word + what;
}

void tell(std::ostream& err, Said kind, const std::string& what) { tell(err, said(kind, what)); }

void fail(const std::string& phrase) { throw PackError(phrase); }

// An error stays one line whatever text it quotes (a parser's message may hold the
// very line feed or control character it complains about).
namespace {

// "FILE: what" (line 0) or "FILE:LINE: what", made one line.
std::string error_line(const std::filesystem::path& file, int line, const std::string& what) {
  return printable(show_path(file) + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": " + what);
}

}  // namespace

std::string system_reason(const char* fallback) { return errno != 0 ? std::strerror(errno) : fallback; }

std::string warning_at(const std::filesystem::path& file, int line, const std::string& what) {
  return error_line(file, line, said(Said::kWarning, what));
}

void fail(const std::filesystem::path& file, const std::string& what) { throw PackError(error_line(file, 0, what)); }

void fail_at(const std::filesystem::path& file, int line, const std::string& what) {
  throw PackError(error_line(file, line, what));
}

// Only the first kShown by line are kept: a manifest of a million mistakes costs no
// more memory than one of twenty.
void ErrorList::add(int line, const std::string& what) {
  ++count_;
  int order = line > 0 ? line : INT_MAX;
  auto at = std::upper_bound(shown_.begin(), shown_.end(), order, [](int o, const Entry& e) {
    return o < (e.line > 0 ? e.line : INT_MAX);
  });
  if (at == shown_.end() && shown_.size() == kShown) return;
  shown_.insert(at, Entry{line, error_line(file_, line, what)});
  if (shown_.size() > kShown) shown_.pop_back();
}

void ErrorList::throw_if_any() const {
  if (count_ == 0) return;
  std::string text;
  for (const Entry& e : shown_) text += (text.empty() ? "" : "\n") + e.text;
  size_t more = count_ - shown_.size();
  if (more > 0)
    text += "\n" + error_line(file_, 0, "...and " + std::to_string(more) + (more == 1 ? " more error" : " more errors"));
  throw PackError(text);
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
