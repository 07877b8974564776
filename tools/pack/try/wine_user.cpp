// talvenor-pack try, the Wine user: a clean prefix holds the profile of whoever made it
// (root in most pipelines); each run renames it to the chosen user and rewrites the
// registry's paths into it, so that the installer sees the user folders a real user has.
#include "try/wine_user.h"

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "base/text16.h"
#include "common/errors.h"
#include "session/folder_name.h"
#include "try/machine_error.h"

namespace fs = std::filesystem;

namespace tvpack {
namespace {

// A name as a .reg file's string holds it: a character beyond ASCII as \xNNNN (four
// digits, so that no letter after it is read as one).
std::string reg_text(const std::string& name) {
  std::string out;
  for (char16_t c : tv::utf8_to_u16(name)) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\x%04x", unsigned(c));
    out += c < 0x80 ? std::string(1, char(c)) : std::string(buf);
  }
  return out;
}

// Every "C:\\users\\FROM" (as .reg files write it, backslashes doubled) that ends there
// or goes on with a backslash or a quote becomes "C:\\users\\TO".
std::string renamed_in_registry(const std::string& text, const std::string& from, const std::string& to) {
  const std::string old_path = "C:\\\\users\\\\" + reg_text(from), new_path = "C:\\\\users\\\\" + reg_text(to);
  std::string out;
  size_t at = 0;
  for (size_t hit; (hit = text.find(old_path, at)) != std::string::npos; at = hit + old_path.size()) {
    size_t after = hit + old_path.size();
    bool whole = after >= text.size() || text[after] == '\\' || text[after] == '"';
    out.append(text, at, hit - at).append(whole ? new_path : old_path);
  }
  return out.append(text, at, std::string::npos);
}

}  // namespace

std::string wine_user_problem(const std::string& name) {
  std::u16string units = tv::utf8_to_u16(name);
  if (tv::u16_to_utf8(units) != name) return "a user name is text: its bytes are no UTF-8";
  if (units.empty() || units.size() > 20) return "a Windows user name has 1 to 20 characters";
  for (char16_t c : units) {
    if (c < 0x20 || c == 0x7f) return "a Windows user name holds no control character";
    if (c < 0x80 && std::string("\"/\\[]:;|=,+*?<>").find(char(c)) != std::string::npos)
      return std::string("a Windows user name holds no ") + char(c);
  }
  if (units.back() == u'.' || units.back() == u' ' || units.front() == u' ')
    return "a Windows user name neither starts with a space nor ends with a dot or a space";
  // The folders every prefix's C:\users holds beside the user's profile (and Windows'
  // own names for them): a user so named would share them.
  for (const char* own : {"Public", "Default", "Default User", "All Users"}) {
    std::string lower_name, lower_own;
    for (char c : name) lower_name += char(std::tolower(static_cast<unsigned char>(c)));
    for (const char* c = own; *c != 0; ++c) lower_own += char(std::tolower(static_cast<unsigned char>(*c)));
    if (lower_name == lower_own) return std::string("C:\\users\\") + own + " is a folder of the Wine prefix itself, not a user's";
  }
  // The profile folder is named after the user: a name Windows cannot hold as a folder is none.
  if (!installer_takes_folder_name(units))
    return "a Windows user name is no device name (CON, PRN, AUX, NUL, COM1, LPT1, ...)";
  return "";
}

void become_user(const fs::path& prefix, const std::string& name) {
  fs::path users = prefix / "drive_c" / "users";
  std::string from;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(users, ec)) {
    std::string file = entry.path().filename().string();
    if (file == "Public" || !entry.is_directory(ec) || entry.is_symlink(ec)) continue;
    if (!from.empty()) fail_machine("the clean Wine prefix holds more than one user: " + show_path(users));
    from = file;
  }
  if (from.empty()) fail_machine("the clean Wine prefix holds no user's profile: " + show_path(users));
  if (from == name) return;
  fs::rename(users / from, users / name);
  for (const char* reg : {"system.reg", "user.reg", "userdef.reg"}) {
    fs::path file = prefix / reg;
    std::ifstream in(file, std::ios::binary);
    if (!in) continue;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    // A copy of the run's own (the .reg files are never shared with the clean prefix).
    std::ofstream(file, std::ios::binary | std::ios::trunc) << renamed_in_registry(text, from, name);
  }
}

}  // namespace tvpack
