// talvenor-pack try --over: the old version installed as try installs (into the folder
// the new version offers, or --folder) and checked; with --running its program started
// and its folder held open; after the new version's install, the old folder checked
// whole under the installer's old-version name, the old shortcuts the new version does
// not make listed as left behind, and every other change of the drives listed.
#include "try/upgrade.h"

#include <fstream>
#include <set>

#include "common/errors.h"
#include "common/read_file.h"
#include "common/upcase.h"
#include "line_escape.h"
#include "pe/pe_image.h"
#include "base/text16.h"
#include "session/install_folder.h"
#include "try/drives.h"

namespace fs = std::filesystem;

namespace tvpack {

bool install_old_version(DriverSession& driver, Sandbox& sandbox, const TryOptions& opt, InstallWalk& walk,
                         const std::vector<uint8_t>& bytes, const std::string& name,
                         const ShortcutReader& read_shortcut, Upgrade* up) {
  TryRun& run = up->run;
  run.began = std::chrono::steady_clock::now();
  fs::path shots = opt.screenshots.empty() ? fs::path() : opt.screenshots / name.substr(0, name.find('-'));
  if (!shots.empty()) fs::create_directories(shots);
  bool finished = reach_install_dialog(driver, sandbox, shots, name, opt.timeout, &run) &&
                  reach_finish_dialog(driver, sandbox, shots, {{false, up->folder_text}}, opt.timeout, {}, &run);
  if (finished) {
    up->check = check_installation(walk, bytes, run.shell_folders, up->folder_text, sandbox.prefix(), read_shortcut);
    answer_finish_dialog(driver, false, &run);
  }
  return finished;
}

void start_old_program(DriverSession& driver, Sandbox& sandbox, Upgrade* up) {
  const std::string& program = up->check.launch;
  fs::path host = map_windows_path(sandbox.prefix(), tv::utf8_to_u16(program));
  std::error_code ec;
  if (!program.empty() && !host.empty() && fs::is_regular_file(host, ec)) {
    int bits = pe_bits(read_file(host));
    if (bits != 0 && sandbox.runs(bits)) {
      up->program = sandbox.spawn_program(bits, program);
      up->steps.push_back("started the old version's program " + program);
    }
  }
  if (up->program.pid <= 0) up->steps.push_back("the old version has no program ({Launch}) that runs here");
  driver.command("lock " + up->check.folder);
  up->steps.push_back("held " + up->check.folder + " open, as Windows does while a program in it runs");
}

// The Windows process id of the program with the Windows path image, 0 for none.
int windows_pid_of(DriverSession& driver, const std::string& image) {
  for (const std::string& line : driver.command("processes")) {
    size_t at = line.find(" image="), end = line.find(" cmdline=");
    if (at == std::string::npos || end == std::string::npos) continue;
    std::string shown = tv::unescape_line(line.substr(at + 7, end - at - 7));
    if (upcase(tv::utf8_to_u16(shown)) == upcase(tv::utf8_to_u16(image)))
      return std::atoi(line.c_str() + line.find("pid=") + 4);
  }
  return 0;
}

void close_old_program(DriverSession& driver, Sandbox& sandbox, Upgrade* up) {
  if (up->program.pid > 0) {
    int pid = windows_pid_of(driver, up->check.launch);
    std::string how = pid > 0 ? driver.command("endprogram " + std::to_string(pid), 20).at(0) : "endprogram gone";
    if (how == "endprogram closed")
      up->steps.push_back("closed the old version's program by its window, as a user would");
    else if (how == "endprogram gone")
      up->steps.push_back("the old version's program had ended by itself");
    else
      up->steps.push_back(std::string("ended the old version's program") +
                          (how.find("nowindow") != std::string::npos ? " (it has no window to close)"
                                                                    : " (it did not end when its window was closed)"));
    sandbox.wait(up->program, 5);
  }
  driver.command("unlock " + up->check.folder);
  up->steps.push_back("let go of " + up->check.folder + " and pressed 一键安装 again");
}

std::string moved_aside(const fs::path& prefix, const std::string& folder, const Snapshot& before) {
  std::u16string path = tv::utf8_to_u16(folder);
  std::error_code ec;
  for (int i = 1; i <= 999; ++i) {
    std::optional<std::u16string> name = old_version_folder(path, i);
    if (!name) return "";
    fs::path host = map_windows_path(prefix, *name);
    if (host.empty() || !fs::exists(fs::symlink_status(host, ec))) return "";
    if (before.count(host) == 0) return tv::u16_to_utf8(*name);
  }
  return "";
}

namespace {

// A digest of a file's bytes (FNV-1a, 64 bits); that of no bytes when it cannot be read.
uint64_t file_digest(const fs::path& path) {
  uint64_t h = 14695981039346656037ull;
  std::ifstream in(path, std::ios::binary);
  char buf[65536];
  while (in.read(buf, sizeof buf) || in.gcount() > 0) {
    for (std::streamsize i = 0; i < in.gcount(); ++i) h = (h ^ uint8_t(buf[i])) * 1099511628211ull;
    if (!in) break;
  }
  return h;
}

bool below(const fs::path& path, const fs::path& folder) {
  fs::path rel = path.lexically_relative(folder);
  return !rel.empty() && *rel.begin() != "..";
}

}  // namespace

void remember_outside_files(const fs::path& prefix, Upgrade* up) {
  up->outside_before.clear();
  // A shortcut is the installer's to write again (the shell stamps it); files are the user's.
  std::set<fs::path> shortcuts;
  for (const std::string& s : up->check.shortcut_files) shortcuts.insert(map_windows_path(prefix, tv::utf8_to_u16(s)));
  std::error_code ec;
  for (const fs::path& p : up->check.placed)
    if (!below(p, up->folder_host) && shortcuts.count(p) == 0 && fs::is_regular_file(p, ec))
      up->outside_before[p] = file_digest(p);
}

void check_upgrade(InstallWalk& walk, const std::vector<uint8_t>& old_bytes, const TryRun& run, const CheckResult& check,
                   const fs::path& prefix, Upgrade* up) {
  Snapshot after = take_snapshot(prefix);
  fs::path moved = run.moved_aside.empty() ? fs::path() : map_windows_path(prefix, tv::utf8_to_u16(run.moved_aside));
  if (!moved.empty()) {
    up->kept = check_old_version(walk, old_bytes, up->run.shell_folders, up->folder_text, tv::utf8_to_u16(run.moved_aside),
                                 prefix);
    up->not_whole = moved_whole(prefix, up->before, after, up->folder_host, moved);
  }
  std::set<std::u16string> made;
  for (const std::string& s : check.shortcut_files) made.insert(upcase(tv::utf8_to_u16(s)));
  for (const std::string& s : up->check.shortcut_files)
    if (made.count(upcase(tv::utf8_to_u16(s))) == 0) up->left_behind.push_back(s);
  std::set<fs::path> skip(check.placed.begin(), check.placed.end());
  skip.insert(map_windows_path(prefix, tv::utf8_to_u16(check.folder)));
  if (!moved.empty()) skip.insert(moved);
  up->changed = changes(prefix, up->before, after, skip);
  for (const fs::path& p : check.placed) {
    auto was = up->outside_before.find(p);
    if (was != up->outside_before.end() && file_digest(p) != was->second)
      up->replaced.push_back(windows_path_of(prefix, p));
  }
}

}  // namespace tvpack
