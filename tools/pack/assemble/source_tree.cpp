// The [[tree]] source walk: names checked, links followed only inside the folder,
// folder loops reported.
#include "assemble/source_tree.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "common/errors.h"

namespace fs = std::filesystem;

namespace tvpack {
namespace {

// The length of the UTF-8 sequence at s[i] (no overlong form, no surrogate, nothing
// past U+10FFFF), 0 when none starts there.
size_t utf8_sequence(const std::string& s, size_t i) {
  unsigned char c = uint8_t(s[i]);
  if (c < 0x80) return 1;
  size_t n = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
  if (n == 0 || i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k)
    if ((uint8_t(s[i + k]) & 0xC0) != 0x80) return 0;
  unsigned char d = uint8_t(s[i + 1]);
  if ((c == 0xE0 && d < 0xA0) || (c == 0xED && d > 0x9F) || (c == 0xF0 && d < 0x90) || (c == 0xF4 && d > 0x8F))
    return 0;
  return n;
}

class TreeWalk {
 public:
  TreeWalk(ErrorList* errors, int line, const fs::path& source) : errors_(errors), line_(line), source_(source) {}

  std::vector<std::vector<std::string>> run() {
    std::error_code ec;
    fs::path root = fs::canonical(source_, ec);
    if (ec) {
      refuse("source", source_, ec.message());
      return {};
    }
    root_ = root;
    std::vector<std::string> names;
    folder(source_, root, &names);
    return std::move(found_);
  }

 private:
  // what: "source", "folder", "link".
  void refuse(const char* what, const fs::path& at, const std::string& why) {
    errors_->add(line_, std::string("[[tree]] ") + what + " " + quote(show_path(at)) + " " + why);
  }

  // True when real (canonical) is root_ or lies below it.
  bool inside(const fs::path& real) const {
    auto mismatch = std::mismatch(root_.begin(), root_.end(), real.begin(), real.end());
    return mismatch.first == root_.end();
  }

  // The names of the folder at `at`, sorted; those that are not checked out are told
  // and left out.
  std::vector<std::string> names_in(const fs::path& at) {
    std::vector<std::string> names, good;
    std::error_code ec;
    for (fs::directory_iterator it(at, ec), end; !ec && it != end; it.increment(ec))
      names.push_back(it->path().filename().u8string());
    if (ec) {
      refuse("folder", at, "cannot be read: " + ec.message());
      return good;
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
      std::string shown = escaped_utf8(name);
      if (shown != name)
        errors_->add(line_, "[[tree]] name " + quote(show_path(at) + "/" + shown) +
                                " is not valid UTF-8 (its bad bytes shown as \\xNN); rename it");
      else if (name.find('\\') != std::string::npos)
        errors_->add(line_, "[[tree]] name " + quote(show_path(at / utf8_path(name))) +
                                " holds a backslash, which Windows reads as a separator between folders; rename it");
      else
        good.push_back(name);
    }
    return good;
  }

  // Every file below at (canonical: real), its names below the source after *names.
  void folder(const fs::path& at, const fs::path& real, std::vector<std::string>* names) {
    open_.push_back(real);
    for (const std::string& name : names_in(at)) {
      fs::path path = at / utf8_path(name);
      std::error_code ec;
      fs::file_status st = fs::symlink_status(path, ec);
      fs::path target = real / utf8_path(name);
      if (fs::is_symlink(st)) {
        target = fs::canonical(path, ec);
        if (ec) target = fs::read_symlink(path, ec);  // it leads nowhere
        if (!fs::exists(target, ec) || !inside(target)) {
          refuse("link", path, "leads to " + quote(show_path(target)) + ", which is not inside the tree's source folder " +
                                   quote(show_path(source_)) + " (a link is followed only inside it)");
          continue;
        }
        st = fs::status(target, ec);
      }
      names->push_back(name);
      if (fs::is_directory(st)) {
        if (std::find(open_.begin(), open_.end(), target) != open_.end())
          refuse("link", path, "leads back to " + quote(show_path(target)) + ", a folder it lies in: a folder loop, not walked");
        else
          folder(path, target, names);
      } else {
        found_.push_back(*names);
      }
      names->pop_back();
    }
    open_.pop_back();
  }

  ErrorList* errors_;
  int line_;
  const fs::path& source_;
  fs::path root_;
  std::vector<fs::path> open_;  // the real folders being walked, outermost first
  std::vector<std::vector<std::string>> found_;
};

}  // namespace

std::vector<std::vector<std::string>> walk_tree(ErrorList* errors, int line, const fs::path& source) {
  return TreeWalk(errors, line, source).run();
}

std::string escaped_utf8(const std::string& name) {
  std::string out;
  for (size_t i = 0; i < name.size();) {
    size_t n = utf8_sequence(name, i);
    if (n != 0) {
      out.append(name, i, n);
      i += n;
      continue;
    }
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\x%02X", unsigned(uint8_t(name[i++])));
    out += buf;
  }
  return out;
}

}  // namespace tvpack
