// The one session over the installer's process-wide state, and what the maker asks of it.
#include "session/installer_session.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "common/errors.h"
#include "common/limits.h"
#include "common/template.h"
#include "actions/product_names.h"
#include "base/resource_ids.h"
#include "pe/pe_file.h"
#include "pe/pe_resources.h"
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

// The units templ would expand to, each variable its value's (told when the installer
// finds the expansion too long).
size_t expanded_units(const std::u16string& templ) {
  size_t length = 0;
  for (const TemplatePart& part : template_parts(templ)) {
    const char16_t* const* value = part.variable ? tv::find_variable(part.text.c_str()) : nullptr;
    length += !part.variable ? part.text.size() : value != nullptr && *value != nullptr ? tv::u16len(*value) : 0;
  }
  return length;
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

// The resources as the installer finds them: the first of its type and number, in
// whatever language. A tree that does not read holds none for the installer either.
void InstallerSession::read_own_resources(const PeFile& file) {
  tv::posix::clear_own_resources();
  if (!file.resources_problem.empty()) return;
  const struct {
    tv::OwnResource which;
    uint16_t type, id;
  } kOwn[] = {{tv::OwnResource::kVersionInfo, tv::kRtVersionType, tv::kVersionInfoId},
              {tv::OwnResource::kFolderName, tv::kRtRcdataType, tv::kFolderNameId}};
  for (const auto& own : kOwn) {
    for (const Resource& r : file.resources) {
      if (!is_type(r, own.type) || !r.name.name.empty() || r.name.id != own.id) continue;
      tv::posix::set_own_resource(own.which, r.data);
      break;
    }
  }
}

std::optional<std::u16string> InstallerSession::value_of(const std::u16string& name) const {
  const char16_t* const* slot = tv::find_variable(name.c_str());
  if (slot == nullptr || *slot == nullptr) return std::nullopt;
  return tv::u16string_at(*slot);
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

namespace {

// Where a path the check read starts: the shell folder whose mark leads it, its value
// as long as that folder's own (the mark stands only for a folder that holds its own).
PathStart start_of(const char16_t* marked) {
  PathStart start;
  const char16_t* folder = tv::marked_folder(marked[0]);
  for (unsigned i = 0; folder != nullptr && i < tv::kFolderVariables; ++i) {
    if (std::u16string(tv::folder_variable_name(i)) != folder) continue;
    start.folder = folder;
    start.units = tv::u16len(tv::own_folder_value(i));
  }
  return start;
}

// A verdict as the maker keeps it: where each path read starts; a finding with its
// name, each folder's mark written as the variable.
bool keep_verdict(void* context, const tv::PathVerdict& v) {
  PathJudgement& j = *static_cast<PathJudgement*>(context);
  if (v.fault != tv::PathFault::kNotExpanded) {
    std::vector<PathStart>& starts = v.shortcut ? j.shortcuts : j.files;
    if (starts.size() <= v.record) starts.resize(v.record + 1);
    starts[v.record] = start_of(v.path);
  }
  if (v.fault == tv::PathFault::kNone) return true;
  PathFinding f;
  f.bad_name = v.fault == tv::PathFault::kBadName;
  f.shortcut = v.shortcut;
  f.record = v.record;
  for (size_t i = 0; f.bad_name && i < v.name_units; ++i) {
    char16_t unit = v.path[v.name_at + i];
    const char16_t* folder = tv::marked_folder(unit);
    f.name += folder != nullptr ? std::u16string(folder) : std::u16string(1, unit);
  }
  j.findings.push_back(f);
  return true;
}

}  // namespace

std::u16string PathStart::named(const std::u16string& path) const {
  return folder.empty() || units > path.size() ? path : folder + path.substr(units);
}

std::u16string PathStart::rest(const std::u16string& path) const {
  return folder.empty() || units > path.size() ? path : path.substr(units);
}

const std::u16string* PathJudgement::bad_name(bool shortcut, size_t record) const {
  for (const PathFinding& f : findings)
    if (f.bad_name && f.shortcut == shortcut && f.record == record) return &f.name;
  return nullptr;
}

PathStart PathJudgement::start(bool shortcut, size_t record) const {
  const std::vector<PathStart>& starts = shortcut ? shortcuts : files;
  return record < starts.size() ? starts[record] : PathStart();
}

PathJudgement InstallerSession::judge_paths() {
  PathJudgement j;
  unsigned room = 0;
  tv::clear_damage_reason();
  if (tv::check_install_paths(u"C:\\T", &room, keep_verdict, &j) == tv::PathCheck::kDamaged) {
    j.refused = tv::damage_reason();
    return j;
  }
  // 0: no path lies below "{App}", and any folder the dialog takes fits.
  j.room = room != 0 ? room : kMaxPathUnits;
  return j;
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

std::string InstallerSession::worded_expansion(const std::u16string& templ, std::u16string* unknown) const {
  char16_t out[tv::kMaxPath];
  tv::ExpandVerdict v = tv::judge_expansion(templ.c_str(), out);
  unknown->clear();
  switch (v.fault) {
    case tv::ExpandFault::kNone:
      return "";
    case tv::ExpandFault::kNull:
      break;
    case tv::ExpandFault::kUnclosed:
      return "has an unclosed \"{\"";
    case tv::ExpandFault::kUnknown:
      *unknown = templ.substr(v.at, v.units);
      return "uses " + tv::u16_to_utf8(*unknown) + ", which is neither built in nor defined by a [[variable]] above";
    case tv::ExpandFault::kTooLong:
      return "expands to " + std::to_string(expanded_units(templ)) + " units; a path may have at most " +
             std::to_string(kMaxPathUnits);
  }
  return "cannot be expanded";
}

std::string InstallerSession::explained(const std::string& why) const {
  if (messages_.empty()) return why;
  return why + " (the installer shows \"" + tv::u16_to_utf8(messages_.front()) + "\" and stops)";
}

ProductNames product_names() {
  ProductNames n;
  char16_t name[tv::kProductNameUnits], suffix[tv::kFolderSuffixUnits], folder[tv::kMaxPath];
  tv::product_name(name);
  tv::browse_folder_suffix(suffix);
  tv::default_install_folder(folder);
  n.name = name;
  n.browse_suffix = suffix;
  n.default_folder = folder;
  const uint8_t* data = nullptr;
  n.carries_folder_name = tv::own_resource(tv::OwnResource::kFolderName, &data, &n.folder_name_bytes);
  char16_t read[tv::kMaxFolderNameUnits + 1];
  if (n.carries_folder_name && tv::read_folder_name(data, n.folder_name_bytes, read)) n.folder_name = read;
  return n;
}

}  // namespace tvpack
