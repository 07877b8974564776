// The installer's own reading of a package, step by step, for inspect, extract and try.
#include "session/install_walk.h"

#include "actions/files.h"
#include "common/errors.h"
#include "install/install.h"
#include "package/container.h"
#include "package/script.h"
#include "pe/package_section.h"
#include "pe/pe_file.h"
#include "base/package_section.h"
#include "platform/platform.h"
#include "base/text16.h"
#include "variables/expand.h"
#include "variables/table.h"

namespace tvpack {

void InstallWalk::read_own_resources(const std::vector<uint8_t>& bytes) { read_own_resources(parse_pe_file(bytes)); }

void InstallWalk::read_own_resources(const PeFile& file) { session_.read_own_resources(file); }

std::string InstallWalk::open(const std::vector<uint8_t>& bytes) { return open(parse_pe_file(bytes)); }

std::string InstallWalk::open(const PeFile& file) {
  pairs_.clear();  // a walk started over reads another package
  session_.read_own_resources(file);
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
  tv::FileRecords records(tv::script_cursor());
  for (tv::FileRecord stored; records.next(&stored);) {
    FileRecord r;
    r.templ = stored.templ;
    r.size = stored.size;
    r.content = stored.content;
    r.path = tv::expand_variables(stored.templ);
    bool go_on = visit(r);
    if (r.path == nullptr) return tv::refuse(tv::script_cursor(), tv::kFilePathDoesNotExpand);
    if (!go_on) return true;
  }
  return !records.damaged();
}

namespace {

// Each marker's record as the installer plans it.
void add_shortcut(void* context, tv::ShortcutPlan plan, const tv::PlannedShortcut& planned) {
  ShortcutRecord r;
  r.marker = planned.marker;
  for (size_t k = 0; k < 3; ++k) r.lines[k] = planned.lines[k];
  r.plan = plan;
  r.planned = planned;
  static_cast<ShortcutSection*>(context)->records.push_back(r);
}

}  // namespace

bool InstallWalk::shortcuts(ShortcutSection* out) {
  char16_t* text = nullptr;
  if (!tv::read_string(tv::script_cursor(), &text)) return false;
  std::u16string all = tv::u16string_at(text);
  size_t start = 0;
  for (size_t lf; (lf = all.find(u'\n', start)) != std::u16string::npos; start = lf + 1)
    out->lines.push_back(all.substr(start, lf - start));
  out->lines.push_back(all.substr(start));
  out->looked_at = tv::plan_shortcuts(text, add_shortcut, out);
  std::vector<bool> in_record(out->looked_at, false);
  for (const ShortcutRecord& r : out->records)
    for (size_t k = r.marker; k < r.marker + 4 && k < out->looked_at; ++k) in_record[k] = true;
  for (size_t j = 0; j < out->looked_at; ++j)
    if (!in_record[j]) out->ignored.push_back(j);
  return true;
}

}  // namespace tvpack
