// talvenor-pack try, the check: the package read as the installer reads it (for the
// prefix's own shell folders and the folder the installer took) against what is on the
// prefix's drives: every file at its expanded path with the package's bytes, every
// shortcut with the planned target and arguments (read back from the .lnk through the
// driver), nothing else in the install folder. What lies outside the install folder is
// listed with where it went.
#include <cerrno>
#include <fstream>
#include <set>

#include "common/errors.h"
#include "common/upcase.h"
#include "package/script.h"
#include "base/text16.h"
#include "session/install_folder.h"
#include "session/install_walk.h"
#include "try/check.h"
#include "try/code_page.h"
#include "try/drives.h"

namespace fs = std::filesystem;

namespace tvpack {
namespace {

std::string utf8(const std::u16string& s) { return printable(s); }

bool inside(const fs::path& host, const fs::path& folder) {
  if (folder.empty() || host.empty()) return false;
  fs::path rel = host.lexically_relative(folder);
  return !rel.empty() && *rel.begin() != "..";
}

// The file's bytes equal size bytes at content; why not, or "".
std::string compare_bytes(const fs::path& host, const uint8_t* content, uint32_t size) {
  errno = 0;
  std::ifstream in(host, std::ios::binary);
  if (!in) return "cannot be read (" + system_reason("it cannot be opened") + ")";
  std::vector<char> got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (got.size() != size)
    return "has " + std::to_string(got.size()) + " bytes, the package " + std::to_string(size);
  for (uint32_t i = 0; i < size; ++i)
    if (uint8_t(got[i]) != content[i]) return "differs from the package's bytes at byte " + std::to_string(i);
  return "";
}

// A file the package installs: a later record for the same path replaces the earlier
// one, as on disk.
struct Want {
  std::u16string path, templ;
  const uint8_t* content;
  uint32_t size;
};

// Where the check stands: the installation's drives and what it found so far.
struct Check {
  fs::path prefix;
  fs::path folder_host;         // the install folder on the host
  std::set<fs::path> expected;  // what the package put there
  CheckResult* r;

  fs::path host_path(const std::u16string& windows) const { return map_windows_path(prefix, windows); }
};

// Each path once, where it lies now: a later record for the same file replaces the
// earlier one, as on disk.
std::vector<Want> last_of_each(const std::vector<Want>& all, const Check& c) {
  std::vector<Want> wants;
  std::map<fs::path, size_t> by_host;
  for (const Want& w : all) {
    fs::path host = c.host_path(w.path);
    auto it = by_host.find(host);
    if (!host.empty() && it != by_host.end()) {
      wants[it->second] = w;
    } else {
      if (!host.empty()) by_host[host] = wants.size();
      wants.push_back(w);
    }
  }
  return wants;
}

// The files section, each path once (its last record).
bool files_of(InstallWalk& walk, const Check& c, std::vector<Want>* wants) {
  std::vector<Want> all;
  bool read = walk.files([&](const FileRecord& f) {
    if (f.path == nullptr) return false;
    all.push_back({tv::u16string_at(f.path), tv::u16string_at(f.templ), f.content, f.size});
    return true;
  });
  *wants = last_of_each(all, c);
  return read;
}

void check_files(const std::vector<Want>& wants, Check* c) {
  CheckResult& r = *c->r;
  for (const Want& w : wants) {
    ++r.files;
    fs::path host = c->host_path(w.path);
    std::string shown = utf8(w.path);
    std::string problem;
    std::error_code ec;
    if (host.empty())
      problem = "is on no drive of the prefix, or behind a link in it";
    else if (!fs::is_regular_file(host, ec))
      problem = "is missing";
    else
      problem = compare_bytes(host, w.content, w.size);
    c->expected.insert(host);
    r.placed.push_back(host);
    if (!problem.empty()) {
      r.problems.push_back("file " + shown + " " + problem);
      r.listing.push_back("FAIL " + shown);
      continue;
    }
    ++r.files_ok;
    r.listing.push_back("ok   " + shown + " (" + std::to_string(w.size) + " bytes)");
    if (!inside(host, c->folder_host))
      r.outside.push_back({utf8(w.templ), utf8(resolved_windows_path(w.path)), false});
  }
}

// Why the shortcut's .lnk file is not as the package plans it ("" when it is); what
// Wine alone cannot keep of it into *note.
std::string shortcut_problem(const fs::path& host, const std::u16string& file, const std::string& target,
                             const std::string& args, const ShortcutReader& read_shortcut, std::string* note) {
  std::error_code ec;
  if (host.empty() || !fs::is_regular_file(host, ec)) return "is missing";
  std::string got_target, got_args;
  std::string why_not = read_shortcut(file, &got_target, &got_args);
  got_target = printable(got_target), got_args = printable(got_args);
  if (!why_not.empty()) return "cannot be read (" + why_not + ")";
  bool target_lost = got_target != target && wine_code_page_loss(target, got_target);
  bool args_lost = got_args != args && wine_code_page_loss(args, got_args);
  if (got_target != target && !target_lost)
    return "leads to " + quote(got_target) + ", the package says " + quote(target);
  if (got_args != args && !args_lost)
    return "has the arguments " + quote(got_args) + ", the package says " + quote(args);
  if (target_lost || args_lost)
    *note = std::string("its ") + (target_lost ? "target holds" : "arguments hold") +
            " characters outside the Wine prefix's code page (936), which Wine's shell links store as "
            "\"?\": read back as " + quote(target_lost ? got_target : got_args) + ", not checked further";
  return "";
}

// Why the shortcut's target is not there after the install ("" when it is, or lies on
// no drive of the prefix, which *note then says).
std::string target_problem(const Check& c, const std::string& target, std::string* note) {
  fs::path host = c.host_path(tv::utf8_to_u16(target));
  std::error_code ec;
  if (host.empty()) {
    *note = "its target " + quote(target) + " is on no drive of the prefix: not checked";
    return "";
  }
  return fs::exists(host, ec) ? "" : "leads to " + quote(target) + ", which does not exist after the install";
}

// The planned shortcuts, read back from their .lnk files; one outside the folder
// named by the user's own folder it lies in, as the installer reads it (judged).
void check_shortcuts(const ShortcutSection& section, const PathJudgement& judged, const ShortcutReader& read_shortcut,
                     Check* c) {
  CheckResult& r = *c->r;
  std::set<fs::path> links;
  for (size_t i = 0; i < section.records.size(); ++i) {
    const ShortcutRecord& s = section.records[i];
    if (s.plan != tv::ShortcutPlan::kShortcut) continue;
    std::u16string file = tv::u16string_at(s.planned.file);
    fs::path host = c->host_path(file);
    if (!host.empty() && !links.insert(host).second) continue;
    ++r.shortcuts;
    c->expected.insert(host);
    r.placed.push_back(host);
    std::string shown = utf8(file);
    std::string target = utf8(tv::u16string_at(s.planned.target));
    std::string args = utf8(tv::u16string_at(s.planned.args));
    std::string note, target_note;
    std::string problem = shortcut_problem(host, file, target, args, read_shortcut, &note);
    if (problem.empty()) problem = target_problem(*c, target, &target_note);
    for (const std::string& n : {note, target_note})
      if (!n.empty()) r.notes.push_back("shortcut " + shown + ": " + n);
    r.shortcut_files.push_back(utf8(resolved_windows_path(file)));
    if (!problem.empty()) {
      r.problems.push_back("shortcut " + shown + " " + problem);
      r.listing.push_back("FAIL " + shown);
      continue;
    }
    ++r.shortcuts_ok;
    r.listing.push_back("ok   " + shown + " -> " + target + (args.empty() ? "" : " " + args));
    if (!inside(host, c->folder_host))
      r.outside.push_back({utf8(judged.start(true, i).named(file)), utf8(resolved_windows_path(file)), true});
  }
}

// Nothing else in the install folder.
void check_nothing_else(const Check& c) {
  std::error_code ec;
  if (c.folder_host.empty() || !fs::is_directory(c.folder_host, ec)) return;
  for (auto it = fs::recursive_directory_iterator(c.folder_host, ec); it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (ec) break;
    if (it->is_directory(ec) && !it->is_symlink(ec)) continue;
    if (c.expected.count(it->path()) != 0) continue;
    std::string rel = it->path().lexically_relative(c.folder_host).string();
    for (char& ch : rel)
      if (ch == '/') ch = '\\';
    c.r->problems.push_back("file " + c.r->folder + "\\" + printable(rel) +
                            " is in the install folder, not in the package");
  }
}

}  // namespace

void start_over(InstallWalk& walk, const std::map<int, std::u16string>& shell_folders) {
  walk.session().start_over();
  walk.use_shell_folders(shell_folders);
}

CheckResult check_installation(InstallWalk& walk, const std::vector<uint8_t>& bytes,
                               const std::map<int, std::u16string>& shell_folders, const std::string& edit_text,
                               const fs::path& prefix, const ShortcutReader& read_shortcut) {
  CheckResult r;
  start_over(walk, shell_folders);
  std::string why = walk.open(bytes);
  if (!why.empty()) {
    r.package_stops = walk.explained(why);
    return r;
  }
  std::u16string folder = install_folder_from(tv::utf8_to_u16(edit_text));
  r.folder = utf8(folder);
  if (!walk.choose_folder(folder)) {
    r.package_stops = walk.explained(tv::damage_reason());
    return r;
  }
  Check c{prefix, map_windows_path(prefix, folder), {}, &r};
  for (auto what : {std::make_pair(u"{Launch}", &r.launch), std::make_pair(u"{Help}", &r.help)}) {
    std::optional<std::u16string> value = walk.session().expand(what.first);
    if (value) *what.second = tv::u16_to_utf8(*value);
  }
  PathJudgement judged = walk.judge_paths();
  std::vector<Want> wants;
  bool read = files_of(walk, c, &wants);
  ShortcutSection section;
  if (!read || !walk.shortcuts(&section)) {
    r.package_stops = walk.explained(tv::damage_reason());
    return r;
  }
  check_files(wants, &c);
  check_shortcuts(section, judged, read_shortcut, &c);
  check_nothing_else(c);
  return r;
}

CheckResult check_old_version(InstallWalk& walk, const std::vector<uint8_t>& bytes,
                              const std::map<int, std::u16string>& shell_folders, const std::string& edit_text,
                              const std::u16string& moved, const fs::path& prefix) {
  CheckResult r;
  start_over(walk, shell_folders);
  std::u16string folder = resolved_windows_path(install_folder_from(tv::utf8_to_u16(edit_text)));
  r.folder = utf8(moved);
  std::vector<Want> wants;
  Check c{prefix, map_windows_path(prefix, moved), {}, &r};
  // Read as they were written; they are looked for below the new name.
  if (!walk.open(bytes).empty() || !walk.choose_folder(folder) || !walk.files([&](const FileRecord& f) {
        if (f.path != nullptr) wants.push_back({tv::u16string_at(f.path), tv::u16string_at(f.templ), f.content, f.size});
        return f.path != nullptr;
      })) {
    r.package_stops = "the old version's package cannot be read again";
    return r;
  }
  // Its files below the folder, each now below the old version's name.
  std::vector<Want> kept;
  std::u16string lead = upcase(folder + u"\\");
  for (Want& w : wants) {
    std::u16string path = resolved_windows_path(w.path);
    if (upcase(path.substr(0, lead.size())) != lead) continue;
    w.path = moved + u"\\" + path.substr(lead.size());
    kept.push_back(w);
  }
  check_files(last_of_each(kept, c), &c);
  r.outside.clear();
  check_nothing_else(c);
  return r;
}

}  // namespace tvpack
