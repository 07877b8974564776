#include "inspect.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "errors.h"
#include "manifest.h"
#include "pack.h"
#include "package/container.h"
#include "package/script.h"
#include "pe_image.h"
#include "platform/package_section.h"
#include "platform/platform.h"
#include "platform/posix/posix_platform.h"
#include "platform/text16.h"
#include "variables/expand.h"
#include "variables/table.h"

namespace tvpack {
namespace {

// Text from the script for printing: control characters escaped, nothing quoted.
std::string printable(const char16_t* text) {
  std::string q = quote(tv::u16_to_utf8(text));
  return q.substr(1, q.size() - 2);
}

std::string hex32(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", v);
  return buf;
}

// Walks the install script with the installer's bounds-checked readers.
class ScriptLister {
 public:
  explicit ScriptLister(std::ostream& out) : out_(out) {}

  // "" when every section reads cleanly.
  std::string list() {
    tv::rewind_script_cursor();
    tv::ScriptCursor& c = tv::script_cursor();
    if (!tv::check_script_version()) {
      if (c.pos == tv::script_start()) return tv::damage_reason();
      int32_t version = 0;
      std::memcpy(&version, c.pos - 4, 4);
      out_ << "format version: " << version << " (newer than the installer reads)\n";
      problem_ = tv::damage_reason();
    } else {
      int32_t version = 0;
      std::memcpy(&version, c.pos - 4, 4);
      out_ << "format version: " << version << "\n";
    }
    if (!variables(c) || !files(c) || !shortcuts(c)) return tv::damage_reason();
    if (c.pos != c.end)
      out_ << "note: " << (c.end - c.pos) << " bytes follow the shortcuts section (unread)\n";
    return problem_;
  }

 private:
  bool variables(tv::ScriptCursor& c) {
    int32_t count = 0;
    if (!tv::read_int(c, &count)) return false;
    out_ << "variables: " << count << "\n";
    reset_simulated_variables();
    for (int32_t i = 0; i < count; ++i) {
      char16_t *name = nullptr, *value = nullptr;
      if (!tv::read_string(c, &name) || !tv::read_string(c, &value)) return false;
      out_ << "  " << printable(name) << " = " << printable(value);
      std::u16string n = tv::u16string_at(name), v = tv::u16string_at(value);
      if (n != u"{AppName}" && n != u"{AppVerName}") {
        // As the installer defines it on loading (with the stand-in's folder paths).
        std::string problem = expansion_problem(v);
        char16_t* expanded = tv::expand_variables(value);
        tv::variable_slot(name) = expanded;
        if (!problem.empty())
          out_ << "   (" << problem << ")";
        else if (std::u16string(expanded) != v)
          out_ << "   -> " << printable(expanded);
      }
      out_ << "\n";
    }
    return true;
  }

  bool files(tv::ScriptCursor& c) {
    int32_t count = 0;
    if (!tv::read_int(c, &count)) return false;
    out_ << "files: " << count << "\n";
    for (int32_t i = 0; i < count; ++i) {
      char16_t* path = nullptr;
      int32_t size = 0;
      if (!tv::read_string(c, &path) || !tv::read_int(c, &size)) return false;
      if (size < 0) {
        tv::set_damage_reason("a file's size is negative");
        return false;
      }
      if (!tv::skip_bytes(c, uint32_t(size))) return false;
      out_ << "  " << printable(path) << "  (" << size << " bytes)";
      std::string problem = expansion_problem(tv::u16string_at(path));
      if (!problem.empty()) out_ << "   (" << problem << ")";
      out_ << "\n";
    }
    return true;
  }

  bool shortcuts(tv::ScriptCursor& c) {
    char16_t* text = nullptr;
    if (!tv::read_string(c, &text)) return false;
    std::u16string all = tv::u16string_at(text);
    std::vector<std::u16string> lines;
    if (!all.empty()) {
      size_t start = 0;
      for (;;) {
        size_t lf = all.find(u'\n', start);
        lines.push_back(all.substr(start, lf == std::u16string::npos ? lf : lf - start));
        if (lf == std::u16string::npos) break;
        start = lf + 1;
      }
    }
    out_ << "shortcuts: " << lines.size() / 4 << "\n";
    for (size_t i = 0; i + 4 <= lines.size(); i += 4) {
      out_ << "  " << printable(lines[i].c_str()) << ": target=" << printable(lines[i + 1].c_str())
           << " arguments=" << printable(lines[i + 2].c_str())
           << " location=" << printable(lines[i + 3].c_str()) << "\n";
    }
    if (lines.size() % 4 != 0 && problem_.empty())
      problem_ = "the shortcuts section has " + std::to_string(lines.size()) +
                 " lines, not four for each shortcut";
    return true;
  }

  std::ostream& out_;
  std::string problem_;
};

}  // namespace

std::string inspect_bytes(const std::vector<uint8_t>& bytes, std::ostream& out) {
  PeLayout pe;
  std::string why;
  if (!parse_pe(bytes.data(), bytes.size(), &pe, &why)) return why;
  const PeSection* section = nullptr;
  for (const PeSection& s : pe.sections) {
    if (s.name == tv::kPackageSectionName) section = &s;
  }
  if (section == nullptr) return "carries no package section (.tvpkg)";
  tv::PackageView view;
  if (!tv::find_package_in_file(bytes.data(), bytes.size(), &view))
    return "the package section's header is damaged (wrong magic, or a length past the section)";
  out << "package section: .tvpkg at file offset " << hex32(section->raw_pointer) << ", " << view.n
      << "-byte container, key " << hex32(view.key) << "\n";

  std::vector<std::u16string> shown;
  tv::posix::set_responder([&shown](const std::u16string& text, const std::u16string&, unsigned) {
    shown.push_back(text);
    return tv::kIdOk;
  });
  tv::clear_damage_reason();
  std::string problem;
  tv::UnpackError error = tv::unpack_blob(view.blob, view.n, view.key);
  if (error != tv::UnpackError::kOk) {
    problem = tv::describe_unpack_error(error);
  } else {
    out << "install script: " << tv::script_length() << " bytes\n";
    problem = ScriptLister(out).list();
    // The table's names point into the script; both go now.
    tv::clear_variable_table();
    tv::free_script();
  }
  tv::posix::set_responder(nullptr);
  for (const auto& text : shown) out << "installer message: " << tv::u16_to_utf8(text) << "\n";
  return problem;
}

std::string inspect_file(const std::filesystem::path& file, std::ostream& out) {
  std::vector<uint8_t> bytes = read_file(file);
  return inspect_bytes(bytes, out);
}

}  // namespace tvpack
