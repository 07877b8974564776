// extract: an installer's files written into a folder as the installer would, safely.
#include "read/extract.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <map>
#include <vector>

#include "common/errors.h"
#include "common/folder_names.h"
#include "common/read_file.h"
#include "common/system.h"
#include "common/upcase.h"
#include "common/windows_path.h"
#include "package/script.h"
#include "base/text16.h"
#include "session/install_walk.h"

namespace fs = std::filesystem;

namespace tvpack {
namespace {

// "{App}" while extracting: control characters that no written path holds, so every
// destination that starts with it came through "{App}".
const std::u16string kAppMark = u"\x01" u"App\x01";

// A surrogate without its partner: Windows keeps it in a name, UTF-8 has no form for it.
bool lone_surrogate(const std::u16string& part) {
  for (size_t i = 0; i < part.size(); ++i) {
    if (part[i] >= 0xD800 && part[i] < 0xDC00 && i + 1 < part.size() && part[i + 1] >= 0xDC00 &&
        part[i + 1] < 0xE000)
      ++i;
    else if (part[i] >= 0xD800 && part[i] < 0xE000)
      return true;
  }
  return false;
}

std::string bad_component(const std::u16string& part) {
  for (char16_t c : part) {
    if (c == u':') return "has a name with \":\" (a drive or a stream), not written";
    if (forbidden_in_name(c)) return "has a character no file name may hold, not written";
  }
  if (lone_surrogate(part)) return "has a name that is not valid UTF-16, not written";
  return "";
}

// The path shown to the user: "{App}" for the mark wherever it stands (arguments
// often hold it inside), the shell folder's name for the one it starts in, by the
// installer's reading (start; none for a path the installer does not write).
std::u16string shown(const std::u16string& path, const PathStart& start = PathStart()) {
  std::u16string out = start.named(path);
  const std::u16string app = u"{App}";
  for (size_t at = 0; (at = out.find(kAppMark, at)) != std::u16string::npos; at += app.size())
    out.replace(at, kAppMark.size(), app);
  return out;
}

// No component of DIR/relative (below DIR) may be a link or anything but a folder,
// and the file itself may not be a link: a link left in DIR could lead out of it.
std::string check_links(const fs::path& dir, const fs::path& relative) {
  fs::path at = dir;
  auto last = std::prev(relative.end());
  for (auto it = relative.begin(); it != relative.end(); ++it) {
    at /= *it;
    std::error_code ec;
    fs::file_status st = fs::symlink_status(at, ec);
    if (ec || !fs::exists(st)) return "";
    if (fs::is_symlink(st) || is_reparse_point(at))
      return "would go through the link " + quote(show_path(at)) + " already in the folder, not written";
    if (it != last && !fs::is_directory(st)) return "lies below a file already written, not written";
    if (it == last && fs::is_directory(st)) return "is a folder already, not written";
  }
  return "";
}

// Names as Windows takes them: two that differ only in case (upcase.h) are one file
// or folder, spelt as the first of them written, or as the folder already holds it.
class FoldedNames {
 public:
  explicit FoldedNames(const fs::path& dir) : dir_(dir) {}

  // relative (UTF-8 components joined by "/") spelt as the names already taken.
  std::string spelt(const std::string& relative) {
    std::string out;
    std::u16string key;  // the folded path so far
    for (size_t start = 0; start <= relative.size();) {
      size_t slash = std::min(relative.find('/', start), relative.size());
      std::string part = relative.substr(start, slash - start);
      std::u16string folded = upcase(tv::utf8_to_u16(part));
      const std::string& name = names_in(key, out).emplace(folded, part).first->second;
      out += (out.empty() ? "" : "/") + name;
      key += u'/' + folded;
      start = slash + 1;
    }
    return out;
  }

 private:
  // The names of the folder at the folded path key (spelt below dir), read from the
  // disk the first time (in name order, so that the first of two spellings there wins).
  std::map<std::u16string, std::string>& names_in(const std::u16string& key, const std::string& spelt) {
    auto found = folders_.find(key);
    if (found != folders_.end()) return found->second;
    std::map<std::u16string, std::string>& names = folders_[key];
    std::error_code ec;
    fs::path at = dir_ / utf8_path(spelt);
    if (fs::is_directory(spelt.empty() ? fs::status(at, ec) : fs::symlink_status(at, ec))) names = names_by_case(at);
    return names;
  }

  fs::path dir_;
  std::map<std::u16string, std::map<std::u16string, std::string>> folders_;
};

}  // namespace

std::string extract_target(const std::u16string& destination, const std::u16string& app, const PathStart& start,
                           std::string* refusal) {
  std::string base;
  size_t rest = 0;
  if (starts_with_folder(destination, app)) {
    rest = app.size();
  } else if (!start.folder.empty() && start.units <= destination.size()) {
    base = std::string(kOutsideFolder) + "/" + tv::u16_to_utf8(start.folder.substr(1, start.folder.size() - 2));
    rest = start.units;
  } else if (char16_t drive = drive_letter(destination)) {
    base = std::string(kOutsideFolder) + "/" + char(drive);
    rest = 2;
  } else if (destination.size() >= 2 && is_separator(destination[0]) && is_separator(destination[1])) {
    base = std::string(kOutsideFolder) + "/network";
    rest = 2;
  } else if (!destination.empty() && is_separator(destination[0])) {
    base = std::string(kOutsideFolder) + "/current drive";
  } else {
    base = std::string(kOutsideFolder) + "/current folder";
  }
  // Refused at the first name that cannot be written or at a ".." that leaves the
  // folder, whichever comes first.
  std::vector<std::u16string> names = path_components(destination.substr(rest));
  std::vector<std::u16string> parts = names;
  size_t climbed = names.size();
  bool stays = resolve_dots(&parts, 0, &climbed);
  for (size_t i = 0; i < climbed; ++i) {
    std::string bad = names[i] == u"." || names[i] == u".." ? "" : bad_component(names[i]);
    if (!bad.empty()) {
      *refusal = bad;
      return "";
    }
  }
  if (!stays) {
    *refusal = "leaves " + std::string(base.empty() ? "{App}" : "its folder") + " through \"..\", not written";
    return "";
  }
  if (parts.empty()) {
    *refusal = "names a folder, not a file, not written";
    return "";
  }
  std::string out = base;
  for (const std::u16string& p : parts) out += (out.empty() ? "" : "/") + tv::u16_to_utf8(p);
  return out;
}

namespace {

// DIR made, or checked to be a folder that is empty (unless force).
void prepare_folder(const fs::path& dir, bool force) {
  std::error_code ec;
  fs::file_status st = fs::status(dir, ec);
  if (fs::exists(st)) {
    if (!fs::is_directory(st)) fail(dir, "is not a folder");
    if (!force && fs::directory_iterator(dir, ec) != fs::directory_iterator())
      fail(dir, "is not empty (--force writes into it all the same)");
  } else if (!fs::create_directories(dir, ec)) {
    fail(dir, "cannot be made (" + ec.message() + ")");
  }
}

// One file of the package written below DIR: "" when it was, else why not (relative
// is where it went, below DIR).
std::string write_file(const fs::path& dir, const FileRecord& r, const PathStart& start, FoldedNames* names,
                       std::string* relative) {
  std::string why;
  *relative = extract_target(tv::u16string_at(r.path), kAppMark, start, &why);
  if (!why.empty()) return why;
  *relative = names->spelt(*relative);
  fs::path target = dir / utf8_path(*relative);
  why = check_links(dir, utf8_path(*relative));
  if (!why.empty()) return why;
  std::error_code ec;
  fs::create_directories(target.parent_path(), ec);
  // A file already there is replaced, not rewritten: it may be a hard link to a file
  // outside the folder.
  fs::remove(target, ec);
  errno = 0;
  std::ofstream file(target, std::ios::binary | std::ios::trunc);
  if (r.size != 0) file.write(reinterpret_cast<const char*>(r.content), std::streamsize(r.size));
  file.close();
  return file ? "" : "cannot be written to " + quote(show_path(target)) + " (" + system_reason("the write failed") + ")";
}

void list_shortcuts(const ShortcutSection& shortcuts, const PathJudgement& judged, std::ostream& out) {
  for (size_t i = 0; i < shortcuts.records.size(); ++i) {
    const ShortcutRecord& s = shortcuts.records[i];
    if (s.plan != tv::ShortcutPlan::kShortcut) continue;
    out << "shortcut (not made): " << printable(shown(tv::u16string_at(s.planned.file), judged.start(true, i)))
        << "  target=" << printable(shown(tv::u16string_at(s.planned.target)))
        << "  arguments=" << quoted_arguments(tv::u16_to_utf8(shown(tv::u16string_at(s.planned.args)))) << "\n";
  }
}

// Each path the installer would write that holds a name Windows cannot hold (its
// own check's findings), told on err; true when there was one: the installer refuses
// the whole package then.
bool refuse_unholdable(const PathJudgement& judged, const std::vector<FileRecord>& files,
                       const ShortcutSection& shortcuts, std::ostream& err) {
  bool refused = false;
  for (const PathFinding& f : judged.findings) {
    if (!f.bad_name) continue;
    const char16_t* path = nullptr;
    if (!f.shortcut && f.record < files.size()) path = files[f.record].path;
    if (f.shortcut && f.record < shortcuts.records.size()) {
      const ShortcutRecord& s = shortcuts.records[f.record];
      path = s.plan == tv::ShortcutPlan::kShortcut ? s.planned.file : s.planned.folder;
    }
    if (path == nullptr) continue;
    tell(err, Said::kError,
         quote(shown(tv::u16string_at(path), judged.start(f.shortcut, f.record))) + " holds the name " + quote(f.name) +
             ", which Windows cannot hold; the installer refuses the package, nothing written");
    refused = true;
  }
  return refused;
}

}  // namespace

int extract_installer(const fs::path& installer, const fs::path& dir, bool force, std::ostream& out,
                      std::ostream& err) {
  std::vector<uint8_t> bytes = read_file(installer);
  InstallWalk walk;
  std::string problem = walk.open(bytes);
  auto stops = [&](const std::string& why) { fail(installer, walk.explained(why)); };
  if (!problem.empty()) stops(problem);
  if (!walk.choose_folder(kAppMark)) stops(tv::damage_reason());
  PathJudgement judged = walk.judge_paths();
  // Everything is read before anything is written: the installer checks every path first.
  std::vector<FileRecord> files;
  if (!walk.files([&](const FileRecord& r) {
        files.push_back(r);
        return r.path != nullptr;
      }))
    stops(tv::damage_reason());
  ShortcutSection shortcuts;
  if (!walk.shortcuts(&shortcuts)) stops(tv::damage_reason());
  if (refuse_unholdable(judged, files, shortcuts, err)) return 2;
  prepare_folder(dir, force);

  size_t written = 0, outside = 0, refused = 0;
  FoldedNames names(dir);
  const std::string outside_folder = std::string(kOutsideFolder) + "/";
  for (size_t i = 0; i < files.size(); ++i) {
    const FileRecord& r = files[i];
    PathStart start = judged.start(false, i);
    std::string relative, why = write_file(dir, r, start, &names, &relative);
    std::u16string dest = tv::u16string_at(r.path);
    if (!why.empty()) {
      tell(err, Said::kWarning, quote(shown(dest, start)) + " " + why);
      ++refused;
      continue;
    }
    ++written;
    if (relative.compare(0, outside_folder.size(), outside_folder) == 0) {
      ++outside;
      out << "outside {App}: " << printable(shown(dest, start)) << " -> " << relative << "\n";
    }
  }
  list_shortcuts(shortcuts, judged, out);
  out << show_path(dir) << ": " << written << " files written (" << outside << " outside {App}, under "
      << kOutsideFolder << ")";
  if (refused != 0) out << ", " << refused << " not written";
  out << "\n";
  return refused == 0 ? 0 : 2;
}

std::string quoted_arguments(const std::string& text) {
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : printable(text)) {
    if (c == '"') out.append(backslashes + 1, '\\');
    backslashes = c == '\\' ? backslashes + 1 : 0;
    out += c;
  }
  out.append(backslashes, '\\');
  return out + "\"";
}

}  // namespace tvpack
