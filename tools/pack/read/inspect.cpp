// inspect: what an installer carries, listed as the installer reads it.
#include "read/inspect.h"

#include <cstdio>

#include "common/errors.h"
#include "common/limits.h"
#include "common/read_file.h"
#include "package/script.h"
#include "pe/icon_group.h"
#include "pe/pe_file.h"
#include "pe/pe_resources.h"
#include "pe/version_info.h"
#include "base/text16.h"
#include "session/install_walk.h"

namespace tvpack {
namespace {

std::string hex32(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", v);
  return buf;
}

std::string version_text(const uint16_t* v) {
  return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." + std::to_string(v[3]);
}

// The installer's icon (the images of its first icon group) and version information
// (the fixed versions and every string value), "" for what it does not carry. A
// damaged resource is said, not an error: the installer never reads it.
std::string resource_text(const PeFile& file) {
  if (!file.resources_problem.empty()) return "resources: unreadable (the installer " + file.resources_problem + ")\n";
  std::string text;
  ResourceId group;
  std::vector<IconImageSummary> images;
  if (first_icon_group(file.resources, &group, &images)) {
    text += "icon: group " + (group.name.empty() ? std::to_string(group.id) : quote(group.name)) + ", " +
            std::to_string(images.size()) + (images.size() == 1 ? " image\n" : " images\n");
    for (const IconImageSummary& i : images)
      text += "  " + std::to_string(i.width) + "x" + std::to_string(i.height) + ", " + std::to_string(i.bit_count) +
              "-bit, " + (i.png ? "PNG" : "bitmap") + "\n";
  }
  VersionInfo info;
  try {
    info = version_info_of(file.resources);
  } catch (const PackError& e) {
    std::string why = e.what();
    if (why == "has no resources" || why == "has no version information") return text;
    return text + "version: unreadable (the installer " + why + ")\n";
  }
  text += "version: file " + version_text(info.file_version) + ", product " + version_text(info.product_version) + "\n";
  for (const VersionInfo::Value& value : info.strings)
    text += "  " + printable(value.block) + " " + printable(value.name) + " = " + quote(value.value) + "\n";
  return text;
}

// The folder name the installer carries, as it reads it: quoted, or "none" (and why,
// when it carries one it ignores).
std::string folder_name_text(const ProductNames& names) {
  if (!names.carries_folder_name) return "none";
  if (names.folder_name) return quote(*names.folder_name);
  return "none (the installer ignores its resource of " + std::to_string(names.folder_name_bytes) +
         " bytes: no folder name Windows can hold)";
}

void list_variables(InstallWalk& walk, std::ostream& out) {
  const auto& pairs = walk.pairs();
  out << "variables: " << pairs.size() << "\n";
  for (size_t i = 0; i < pairs.size(); ++i) {
    std::u16string name = tv::u16string_at(pairs[i].first), value = tv::u16string_at(pairs[i].second);
    out << "  " << printable(name) << " = " << printable(value);
    bool later = false;
    for (size_t k = i + 1; k < pairs.size(); ++k) later = later || tv::u16string_at(pairs[k].first) == name;
    if (name == u"{AppName}") {
      if (!later) out << "   (the install dialog's caption, as written)";
    } else if (name == u"{AppVerName}") {
      if (!later) out << "   (the install dialog's description, as written)";
    } else if (later) {
      out << "   (set again below)";
    } else if (name != u"{App}") {
      std::optional<std::u16string> slot = walk.session().value_of(name);
      if (!slot) {
        std::string problem = walk.session().worded_expansion(value);
        out << "   (no value: the installer cannot expand it" << (problem.empty() ? "" : ": " + problem) << ")";
      } else if (*slot != value) {
        out << "   -> " << printable(*slot);
      }
    }
    out << "\n";
  }
}

// The mark after a path the installer would write that holds a name Windows cannot
// hold, as its own check found ("" for one it can): the installer refuses the whole package.
std::string unholdable_mark(const PathJudgement& judged, bool shortcut, size_t record) {
  const std::u16string* bad = judged.bad_name(shortcut, record);
  return bad == nullptr ? "" : "   <- Windows cannot hold " + quote(*bad) + ": the installer refuses the package";
}

void list_shortcuts(const ShortcutSection& s, std::ostream& out, const PathJudgement& judged) {
  size_t made = 0;
  for (const ShortcutRecord& r : s.records) made += r.plan == tv::ShortcutPlan::kShortcut;
  if (s.lines.size() == 1 && s.lines[0].empty()) {
    out << "shortcuts: 0 (the section is empty)\n";
    return;
  }
  out << "shortcuts: " << made << " (" << s.records.size() << " records in " << s.lines.size()
      << (s.lines.size() == 1 ? " line)\n" : " lines)\n");
  size_t r = 0, g = 0;
  while (r < s.records.size() || g < s.ignored.size()) {
    if (g == s.ignored.size() || (r < s.records.size() && s.records[r].marker < s.ignored[g])) {
      size_t record = r;
      const ShortcutRecord& rec = s.records[r++];
      out << "  line " << rec.marker + 1 << ": target=" << printable(rec.lines[0])
          << " arguments=" << printable(rec.lines[1]) << " location=" << printable(rec.lines[2]);
      switch (rec.plan) {
        case tv::ShortcutPlan::kShortcut:
          out << "   -> " << printable(judged.start(true, record).named(tv::u16string_at(rec.planned.file)));
          // The target as the files' destinations are shown: expanded.
          if (tv::u16string_at(rec.planned.target) != tv::u16string_at(rec.lines[0]))
            out << " starting " << printable(rec.planned.target);
          out << unholdable_mark(judged, true, record);
          break;
        case tv::ShortcutPlan::kNotExpanded:
          out << (rec.lines[2] == nullptr ? "   (no shortcut: the section ends inside this record)"
                                          : "   (no shortcut: a line does not expand)");
          break;
        case tv::ShortcutPlan::kNoFolder:
          out << "   (no shortcut: the location has no backslash)";
          break;
        case tv::ShortcutPlan::kFolderTooLong:
        case tv::ShortcutPlan::kNameTooLong:
          out << "   (no shortcut: the path is longer than " << kMaxPathUnits << " units)";
          if (rec.plan == tv::ShortcutPlan::kNameTooLong) out << unholdable_mark(judged, true, record);
          break;
      }
      out << "\n";
    } else {
      size_t j = s.ignored[g++];
      const std::u16string& line = s.lines[j];
      out << "  line " << j + 1 << ": ignored " << quote(line);
      if (line.empty() && j + 1 == s.lines.size() && j > 0) out << " (after the final line feed)";
      out << "\n";
    }
  }
  if (s.looked_at < s.lines.size())
    out << "  lines " << s.looked_at + 1 << " to " << s.lines.size() << ": not looked at (the installer reads the first "
        << s.looked_at << ")\n";
}

// "" when the installer installs the package; else why it stops.
std::string list_package(const PeFile& file, InstallWalk& walk, std::ostream& out) {
  std::string problem = walk.open(file);
  if (walk.container_size() == 0) return problem;  // no package found
  out << "package section: .tvpkg at file offset " << hex32(walk.section_offset()) << ", "
      << walk.container_size() << "-byte container, key " << hex32(walk.key()) << "\n";
  out << resource_text(file) << product_names_text();
  if (tv::script_start() == nullptr) return problem;
  out << "install script: " << tv::script_length() << " bytes\n";
  if (!problem.empty() && !walk.version_refused()) return problem;
  out << "format version: " << walk.version() << (walk.version_refused() ? " (newer than the installer reads)\n" : "\n");
  std::u16string folder = walk.default_folder();
  PathJudgement judged = walk.judge_paths();
  if (!walk.choose_folder(folder)) return tv::damage_reason();
  list_variables(walk, out);
  out << "install folder: " << printable(folder) << " (the install dialog's default, {App} below)\n";
  if (judged.refused.empty())
    out << "install folder up to " << judged.room << " characters (the installer's own check)\n";
  else
    out << "install folder: none (the installer's own check refuses the package when the install button is "
           "pressed: " << judged.refused << ")\n";

  std::vector<std::string> files;
  bool read = walk.files([&files, &judged, &walk](const FileRecord& r) {
    std::string line = "  " + printable(r.templ) + "  (" + std::to_string(r.size) + " bytes)";
    if (r.path == nullptr) {
      std::string why = walk.session().worded_expansion(tv::u16string_at(r.templ));
      line += "   (does not expand" + (why.empty() ? "" : ": " + why) + ")";
    } else if (tv::u16string_at(r.path) != tv::u16string_at(r.templ)) {
      line += "   -> " + printable(r.path);
    }
    if (r.path != nullptr) line += unholdable_mark(judged, false, files.size());
    files.push_back(line);
    return true;
  });
  out << "files: " << files.size() << "\n";
  for (const std::string& line : files) out << line << "\n";
  if (!read) return tv::damage_reason();
  ShortcutSection shortcuts;
  if (!walk.shortcuts(&shortcuts)) return tv::damage_reason();
  list_shortcuts(shortcuts, out, judged);
  tv::ScriptCursor& c = tv::script_cursor();
  if (c.pos != c.end) out << "note: " << (c.end - c.pos) << " bytes follow the shortcuts section (unread)\n";
  return problem;
}

}  // namespace

std::string product_names_text() {
  ProductNames names = product_names();
  return "product name: " + quote(names.name) +
         "; the retry prompt and the old-version box ask to close it\nfolder name: " + folder_name_text(names) +
         "; the browse button adds " + quote(names.browse_suffix) + ", an empty folder box installs to " +
         quote(names.default_folder) + "\n";
}

std::string inspect_bytes(const std::vector<uint8_t>& bytes, std::ostream& out) {
  InstallWalk walk;
  PeFile file = parse_pe_file(bytes);  // the one parse of the file
  std::string problem = list_package(file, walk, out);
  for (const auto& text : walk.messages()) out << "installer message: " << tv::u16_to_utf8(text) << "\n";
  return problem.empty() ? problem : walk.explained(problem);
}

std::string inspect_file(const std::filesystem::path& file, std::ostream& out) {
  std::vector<uint8_t> bytes = read_file(file);
  return inspect_bytes(bytes, out);
}

}  // namespace tvpack
