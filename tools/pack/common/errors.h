// Errors of the maker, all raised one way: fail() throws a PackError. Its text is one
// line naming the file it is about (and the manifest line where there is one), or,
// from the readers of files a user hands the maker (PE images, icons), one phrase
// that the caller puts after the file's name ("is truncated"). The manifest's reader
// collects its errors in an ErrorList and throws them as one PackError of several lines.
#pragma once
#include <cstddef>
#include <filesystem>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace tvpack {

// The maker's name, which begins every line it writes on stderr.
constexpr char kMakerName[] = "talvenor-pack";

// text on err, each of its lines after "talvenor-pack: ": the one way the maker speaks
// on stderr (errors, warnings, notes, progress).
void tell(std::ostream& err, const std::string& text);

// What a line of the maker is, said by its first word: "error: ", "warning: ", "note: ".
enum class Said { kError, kWarning, kNote };
// what after its word ("warning: what"), for a line that is told later or after a file's name.
std::string said(Said kind, const std::string& what);
// tell(err, said(kind, what)).
void tell(std::ostream& err, Said kind, const std::string& what);
// The same line as text, for a writer that is no stream.
std::string told(const std::string& line);

class PackError : public std::runtime_error {
 public:
  explicit PackError(const std::string& line) : std::runtime_error(line) {}
};

// A phrase about input whose name the caller knows, as it is ("has a damaged
// resource directory"); the caller that names the file makes it one line.
[[noreturn]] void fail(const std::string& phrase);
// "FILE: what" or "FILE:LINE: what", made one line (control characters escaped).
[[noreturn]] void fail(const std::filesystem::path& file, const std::string& what);
[[noreturn]] void fail_at(const std::filesystem::path& file, int line, const std::string& what);

// The system's reason for the last call that failed (errno, as strerror words it), or
// fallback when the call set none: "No space left on device".
std::string system_reason(const char* fallback);

// A warning (the maker goes on): "FILE: warning: what", or "FILE:LINE: warning: what"
// when line is above 0, made one line as an error is.
std::string warning_at(const std::filesystem::path& file, int line, const std::string& what);

// The mistakes of one file, told together: each a line as fail_at makes it ("FILE: what"
// when line is 0, about the whole file), in the order of their lines (the whole file's
// last), the first kShown of them and then how many more there were.
class ErrorList {
 public:
  static constexpr size_t kShown = 20;
  explicit ErrorList(std::filesystem::path file) : file_(std::move(file)) {}
  void add(int line, const std::string& what);
  size_t count() const { return count_; }
  // Throws one PackError, its lines joined by '\n', when anything was added.
  void throw_if_any() const;

 private:
  struct Entry {
    int line;
    std::string text;
  };
  std::filesystem::path file_;
  std::vector<Entry> shown_;
  size_t count_ = 0;
};

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
