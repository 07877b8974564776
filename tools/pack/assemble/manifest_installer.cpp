// The manifest's [installer] table: what the output's own resources say of the
// product (its icon, names and versions), checked here so that the resource writer
// gets values it can write as they are.
#include <array>

#include "assemble/manifest.h"
#include "assemble/manifest_tables.h"
#include "base/name_characters.h"
#include "base/text16.h"
#include "common/errors.h"
#include "common/limits.h"
#include "session/folder_name.h"

namespace fs = std::filesystem;

namespace tvpack {
namespace {

// 1 to 4 decimal numbers 0-65535 separated by dots; the missing ones are 0.
bool parse_version(const std::u16string& text, std::array<uint16_t, 4>* out) {
  std::array<uint16_t, 4> parts = {0, 0, 0, 0};
  size_t count = 0, digits = 0;
  uint32_t value = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == u'.') {
      if (digits == 0 || count == 4) return false;
      parts[count++] = uint16_t(value);
      value = 0, digits = 0;
    } else if (text[i] >= u'0' && text[i] <= u'9') {
      value = value * 10 + uint32_t(text[i] - u'0');
      ++digits;
      if (value > 0xFFFF) return false;
    } else {
      return false;
    }
  }
  *out = parts;
  return true;
}

// Why a version-information text cannot be written ("" when it can).
std::string text_problem(const std::u16string& value) {
  for (char16_t c : value)
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return "holds the control character " + quote(std::u16string(1, c));
  if (value.size() > kMaxInfoUnits)
    return "is " + std::to_string(value.size()) + " UTF-16 units long; at most " + std::to_string(kMaxInfoUnits);
  return "";
}

// The icon file, beside the manifest (read by the build); empty when refused.
fs::path icon_file(Reading* reading, const TableReader& r, int* line) {
  std::optional<std::u16string> icon = r.text("icon", false, line);
  if (!icon) return fs::path();
  fs::path path = reading->path().parent_path() / utf8_path(tv::u16_to_utf8(*icon));
  std::error_code ec;
  fs::file_status st = fs::status(path, ec);
  if (icon->empty() || !fs::exists(st)) {
    reading->error(*line, "[installer] icon " + quote(show_path(path)) + " does not exist");
    return fs::path();
  }
  if (!fs::is_regular_file(st)) {
    reading->error(*line, "[installer] icon " + quote(show_path(path)) + " is not a regular file");
    return fs::path();
  }
  return path;
}

// A text of the version information: absent stays absent, and so does one refused.
std::optional<std::u16string> info_text(Reading* reading, const TableReader& r, const char* key, int* line) {
  if (!r.has(key)) return std::nullopt;
  std::optional<std::u16string> value = r.text(key, false, line);
  if (!value) return std::nullopt;
  std::string problem = text_problem(*value);
  if (problem.empty()) return value;
  reading->error(*line, std::string("[installer] ") + key + " " + problem);
  return std::nullopt;
}

// A version's numbers, when its text is one.
void read_version(Reading* reading, const char* key, const std::optional<std::u16string>& value, int line,
                  std::optional<std::array<uint16_t, 4>>* number) {
  if (!value) return;
  std::array<uint16_t, 4> parts;
  if (parse_version(*value, &parts))
    *number = parts;
  else
    reading->error(line, std::string("[installer] ") + key + " " + quote(*value) +
                             " is not a version: 1 to 4 numbers from 0 to 65535 separated by dots, "
                             "like \"2.3\" or \"2.3.1.0\"");
}

// Why a folder name cannot be the product's folder ("" when it can): the installer's
// verdict (judge_folder_name), worded; it drops a name it refuses.
std::string worded_name_verdict(const std::u16string& name) {
  FolderNameVerdict v = judge_folder_name(name);
  std::u16string unit = name.substr(v.at, 1);
  switch (v.fault) {
    case FolderNameFault::kNone:
      return "";
    case FolderNameFault::kEmpty:
      return "is empty";
    case FolderNameFault::kTooLong:
      return "is " + std::to_string(name.size()) + " UTF-16 units long; a folder name has at most " +
             std::to_string(kMaxFolderNameUnits);
    case FolderNameFault::kSeparator:
      return "holds " + quote(unit) + ": it is one folder's name, not a path";
    case FolderNameFault::kForbidden:
      return "holds " + quote(unit) + ", which no folder name may hold";
    case FolderNameFault::kCannotHold:
      break;
  }
  return "is a name Windows cannot hold as a folder (a device such as CON or NUL, \".\" or \"..\", or a name "
         "ending in a dot or a space)";
}

// The folder name for browsing and the default install folder.
std::optional<std::u16string> folder_name(Reading* reading, const TableReader& r) {
  int line = 0;
  std::optional<std::u16string> name = r.text("folder_name", false, &line);
  if (!name) return std::nullopt;
  std::string problem = worded_name_verdict(*name);
  if (problem.empty()) return name;
  reading->error(line, "[installer] folder_name " + quote(*name) + " " + problem);
  return std::nullopt;
}

}  // namespace

InstallerInfo read_installer_table(Reading* reading, const toml::table& root) {
  InstallerInfo info;
  const toml::table* table = single_table(reading, root, "installer");
  if (table == nullptr) return info;
  TableReader r(reading, *table, "[installer]");
  r.only({"icon", "product_name", "product_version", "file_version", "company", "copyright", "description",
          "folder_name"});
  info.line = r.line();

  ProductInfo& product = info.product;
  int line = 0, name_line = 0, product_line = 0, file_line = 0;
  if (r.has("icon")) info.icon = icon_file(reading, r, &info.icon_line);
  product.product_name = info_text(reading, r, "product_name", &name_line);
  product.product_version = info_text(reading, r, "product_version", &product_line);
  product.file_version = info_text(reading, r, "file_version", &file_line);
  product.company = info_text(reading, r, "company", &line);
  product.copyright = info_text(reading, r, "copyright", &line);
  product.description = info_text(reading, r, "description", &line);
  if (r.has("folder_name")) product.folder_name = folder_name(reading, r);
  read_version(reading, "product_version", product.product_version, product_line, &product.product_version_number);
  read_version(reading, "file_version", product.file_version, file_line, &product.file_version_number);
  if (!product.file_version && !r.has("file_version")) {
    product.file_version = product.product_version;
    product.file_version_number = product.product_version_number;
  }
  if (!r.has("description") && product.product_name) {
    product.description = *product.product_name + u" 安装程序";
    std::string problem = text_problem(*product.description);
    if (!problem.empty())
      reading->error(name_line, "[installer] the description made from product_name, " +
                                    quote(*product.description) + ", " + problem + "; give a shorter description");
  }
  return info;
}

}  // namespace tvpack
