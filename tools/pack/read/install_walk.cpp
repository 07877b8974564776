// The installer's own reading of a package, step by step, for inspect, extract and try.
#include "read/install_walk.h"

#include "actions/files.h"
#include "common/errors.h"
#include "install/install.h"
#include "package/container.h"
#include "package/script.h"
#include "pe/package_section.h"
#include "pe/pe_file.h"
#include "pe/pe_resources.h"
#include "base/resource_ids.h"
#include "platform/host/host_calls.h"
#include "base/package_section.h"
#include "platform/platform.h"
#include "base/text16.h"
#include "variables/expand.h"
#include "variables/table.h"

namespace tvpack {

void InstallWalk::read_own_resources(const std::vector<uint8_t>& bytes) { read_own_resources(parse_pe_file(bytes)); }

// The resources as the installer finds them: the first of its type and number, in
// whatever language. A tree that does not read holds none for the installer either.
void InstallWalk::read_own_resources(const PeFile& file) {
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

std::string InstallWalk::open(const std::vector<uint8_t>& bytes) { return open(parse_pe_file(bytes)); }

std::string InstallWalk::open(const PeFile& file) {
  pairs_.clear();  // a walk started over reads another package
  read_own_resources(file);
  if (!file.layout_problem.empty()) return file.layout_problem;
  const PeSection* section = find_package_section(file.layout);
  if (section == nullptr) return "carries no package section (.tvpkg)";
  tv::PackageView view;
  if (!tv::package_in_section(file.bytes->data(), file.bytes->size(), *section, false, &view))
    return "the package section's header is damaged (wrong magic, or a length past the section)";
  section_offset_ = section->raw_pointer;
  n_ = view.n;
  key_ = view.key;
  tv::UnpackError error = session_.unpack(view.blob, view.n, view.key);
  if (error != tv::UnpackError::kOk) {
    // The installer's own unpack shows this box for every refusal.
    tv::show_message(u"安装文件已损坏!", u"安装失败", tv::kMbOk | tv::kMbIconError);
    return tv::describe_unpack_error(error);
  }
  // The loading chain of the install dialog, then the pairs as stored.
  std::string why = session_.load();
  if (!why.empty() && !session_.version_refused()) return why;
  tv::ScriptCursor list = tv::saved_cursor();
  int32_t count = 0;
  if (!tv::read_int(list, &count)) return tv::damage_reason();
  for (int32_t i = 0; i < count; ++i) {
    char16_t *name = nullptr, *value = nullptr;
    if (!tv::read_string(list, &name) || !tv::read_string(list, &value)) return tv::damage_reason();
    pairs_.emplace_back(name, value);
  }
  return why;
}

std::u16string InstallWalk::default_folder() const {
  const char16_t* const* app = tv::find_variable(u"{App}");
  char16_t path[tv::kMaxPath];
  tv::install_directory_from(app != nullptr ? *app : nullptr, path);
  return tv::u16string_at(path);
}

bool InstallWalk::files(const std::function<bool(const FileRecord&)>& visit) {
  tv::ScriptCursor& c = tv::script_cursor();
  int32_t count = 0;
  if (!tv::read_int(c, &count)) return false;
  for (int32_t i = 0; i < count; ++i) {
    FileRecord r;
    char16_t* templ = nullptr;
    if (!tv::read_file_record(c, &templ, &r.size, &r.content)) return false;
    r.templ = templ;
    r.path = tv::expand_variables(templ);
    bool go_on = visit(r);
    if (r.path == nullptr) {
      tv::report_damaged_package("a file path does not expand");
      return false;
    }
    if (!go_on) return true;
  }
  return true;
}

bool InstallWalk::shortcuts(ShortcutSection* out) {
  char16_t* text = nullptr;
  if (!tv::read_string(tv::script_cursor(), &text)) return false;
  std::u16string all = tv::u16string_at(text);
  size_t start = 0;
  for (size_t lf; (lf = all.find(u'\n', start)) != std::u16string::npos; start = lf + 1)
    out->lines.push_back(all.substr(start, lf - start));
  out->lines.push_back(all.substr(start));

  std::vector<char16_t*> lines(tv::kMaxShortcutLines);
  size_t count = tv::split_shortcut_lines(text, lines.data());
  out->looked_at = count;
  std::vector<bool> in_record(count, false);
  for (size_t j = tv::find_shortcut_marker(lines.data(), count, 0); j < count;
       j = tv::find_shortcut_marker(lines.data(), count, j + 4)) {
    ShortcutRecord r;
    r.marker = j;
    for (size_t k = 0; k < 3; ++k) r.lines[k] = j + 1 + k < count ? lines[j + 1 + k] : nullptr;
    r.plan = tv::plan_shortcut(r.lines[0], r.lines[1], r.lines[2], &r.planned);
    out->records.push_back(r);
    for (size_t k = j; k < j + 4 && k < count; ++k) in_record[k] = true;
  }
  for (size_t j = 0; j < count; ++j)
    if (!in_record[j]) out->ignored.push_back(j);
  return true;
}

}  // namespace tvpack
