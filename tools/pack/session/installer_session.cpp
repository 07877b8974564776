// The one session over the installer's process-wide state, and what the maker asks of it.
#include "session/installer_session.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "common/limits.h"
#include "common/template.h"
#include "common/windows_path.h"
#include "actions/path_rules.h"
#include "install/path_check.h"
#include "package/script.h"
#include "platform/host/host_calls.h"
#include "platform/platform.h"
#include "base/text16.h"
#include "variables/expand.h"
#include "variables/pool.h"
#include "variables/section.h"
#include "variables/table.h"

namespace tvpack {
namespace {

bool g_alive = false;

std::u16string without_trailing_separators(std::u16string folder) {
  while (!folder.empty() && is_separator(folder.back())) folder.pop_back();
  return folder;
}

}  // namespace

InstallerSession::InstallerSession() {
  if (g_alive) throw std::logic_error("a second session over the installer's state");
  g_alive = true;
  tv::posix::set_responder([this](const std::u16string& text, const std::u16string&, unsigned) {
    messages_.push_back(text);
    return tv::kIdOk;
  });
  start_over();
}

InstallerSession::~InstallerSession() {
  start_over();
  tv::clear_variable_table();
  tv::posix::set_responder(nullptr);
  g_alive = false;
}

void InstallerSession::start_over() {
  tv::posix::clear_own_resources();
  // The table's names point into the script; both go now.
  tv::clear_variable_table();
  tv::clear_title_and_description();
  if (owned_) tv::free_script();
  if (borrowed_) tv::set_script(nullptr, 0);
  owned_ = borrowed_ = version_refused_ = false;
  version_ = 0;
  messages_.clear();
  folder_.clear();
  tv::clear_damage_reason();
  tv::posix::reset_special_folders();
  tv::set_folder_variables();
}

void InstallerSession::use_shell_folders(const std::map<int, std::u16string>& folders) {
  if (folders.empty()) return;
  for (const auto& folder : folders) tv::posix::set_special_folder(folder.first, folder.second);
  tv::set_folder_variables();
}

tv::UnpackError InstallerSession::unpack(const uint8_t* blob, uint32_t n, uint32_t key) {
  tv::UnpackError error = tv::unpack_blob(blob, n, key);
  owned_ = error == tv::UnpackError::kOk;
  return error;
}

void InstallerSession::borrow_script(std::vector<uint8_t>& script) {
  tv::set_script(script.data(), uint32_t(script.size()));
  borrowed_ = true;
}

std::string InstallerSession::load() {
  tv::rewind_script_cursor();
  tv::ScriptCursor& c = tv::script_cursor();
  if (!tv::check_script_version()) {
    if (c.pos == tv::script_start()) return tv::damage_reason();
    version_refused_ = true;
  }
  std::memcpy(&version_, c.pos - 4, 4);
  std::string refused = version_refused_ ? tv::damage_reason() : "";
  tv::saved_cursor() = c;
  if (!tv::read_variables_section(c, 0)) return tv::damage_reason();
  return refused;
}

bool InstallerSession::choose_folder(const std::u16string& folder) {
  folder_ = folder;
  tv::variable_slot(u"{App}") = tv::pool_string(folder_.c_str());
  tv::ScriptCursor second = tv::saved_cursor();
  return tv::read_variables_section(second, 1) != 0;
}

size_t InstallerSession::room(std::string* refused) {
  refused->clear();
  unsigned room = 0;
  tv::clear_damage_reason();
  switch (tv::check_install_paths(u"C:\\T", &room)) {
    case tv::PathCheck::kDamaged:
      *refused = tv::damage_reason();
      return 0;
    case tv::PathCheck::kFits:
    case tv::PathCheck::kTooLong:
      break;
  }
  // 0: no path lies below "{App}", and any folder the dialog takes fits.
  return room != 0 ? room : kMaxPathUnits;
}

void InstallerSession::define(const std::u16string& name, const std::u16string& value_template) {
  tv::variable_slot(tv::pool_string(name.c_str())) = tv::expand_variables(value_template.c_str());
}

bool InstallerSession::defines(const std::u16string& name) const { return tv::find_variable(name.c_str()) != nullptr; }

std::optional<std::u16string> InstallerSession::expand(const std::u16string& templ) const {
  const char16_t* expanded = tv::expand_variables(templ.c_str());
  if (expanded == nullptr) return std::nullopt;
  return tv::u16string_at(expanded);
}

std::string InstallerSession::expansion_problem(const std::u16string& templ) const {
  size_t length = 0;
  for (const TemplatePart& part : template_parts(templ)) {
    if (part.unclosed) return "has an unclosed \"{\"";
    if (!part.variable) {
      length += part.text.size();
      continue;
    }
    const char16_t* const* value = tv::find_variable(part.text.c_str());
    if (value == nullptr)
      return "uses " + tv::u16_to_utf8(part.text) + ", which is neither built in nor defined by a [[variable]] above";
    if (*value != nullptr) length += tv::u16len(*value);
  }
  if (length > kMaxPathUnits)
    return "expands to " + std::to_string(length) + " units; a path may have at most " + std::to_string(kMaxPathUnits);
  if (!expand(templ)) return "cannot be expanded";
  return "";
}

std::string InstallerSession::explained(const std::string& why) const {
  if (messages_.empty()) return why;
  return why + " (the installer shows \"" + tv::u16_to_utf8(messages_.front()) + "\" and stops)";
}

std::u16string shell_folder_of(const std::u16string& path, std::u16string* value) {
  std::u16string best;
  value->clear();
  for (unsigned i = 0; i < tv::kFolderVariables; ++i) {
    const char16_t* name = tv::folder_variable_name(i);
    const char16_t* const* slot = tv::find_variable(name);
    if (slot == nullptr || *slot == nullptr) continue;
    std::u16string v = without_trailing_separators(tv::u16string_at(*slot));
    if (starts_with_folder(path, v) && v.size() > value->size()) {
      *value = v;
      best = name;
    }
  }
  return best;
}

std::u16string with_folder_names(const std::u16string& path) {
  std::u16string value;
  std::u16string folder = shell_folder_of(path, &value);
  return folder.empty() ? path : folder + path.substr(value.size());
}

size_t own_folder_names(const std::u16string& path, const std::u16string& app) {
  std::u16string shell, folder = without_trailing_separators(app);
  size_t names = starts_with_folder(path, folder) ? path_components(folder).size() : 0;
  if (!shell_folder_of(path, &shell).empty()) names = std::max(names, path_components(shell).size());
  return names;
}

std::u16string unholdable_name(const std::u16string& path, const std::u16string& app) {
  std::vector<std::u16string> names = path_components(path);
  for (size_t i = own_folder_names(path, app); i < names.size(); ++i)
    if (tv::windows_cannot_hold(names[i].data(), names[i].size())) return names[i];
  return u"";
}

}  // namespace tvpack
