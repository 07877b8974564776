// The installer's own check of the paths the manifest's package writes, its findings
// told at the manifest's lines (see check_paths in manifest_tables.h).
#include <set>
#include <utility>

#include "assemble/manifest_tables.h"
#include "common/errors.h"

namespace tvpack {
namespace {

constexpr const char* kCannotHold =
    ", which Windows cannot hold (a device such as NUL or COM1, or a name ending in a dot or a space)";

// The line that gives a finding's path, and the path as the manifest's reader names it.
std::pair<int, std::string> where(const Reading* reading, const PathFinding& f) {
  InstallerSession& session = *reading->session;
  if (f.shortcut) {
    const ManifestShortcut& s = reading->m->shortcuts[f.record];
    return {s.location_line, "[[shortcut]] file " + quote(session.expand(s.location).value_or(s.location) + u".lnk")};
  }
  const ManifestFile& file = reading->m->files[f.record];
  return {file.line, file.what + " destination " + quote(session.expand(file.destination).value_or(file.destination))};
}

// A file the package puts in the user's application data, outside {App}: a settings
// file, most likely, which every reinstall and upgrade writes over the user's. Said once
// for each line (a [[tree]]'s files share theirs).
void warn_of_application_data(Reading* reading, const PathJudgement& judged) {
  std::set<int> lines;
  for (size_t i = 0; i < judged.files.size() && i < reading->m->files.size(); ++i) {
    const ManifestFile& file = reading->m->files[i];
    if (judged.files[i].folder != u"{AppData}" || !lines.insert(file.line).second) continue;
    reading->m->warnings.push_back(warning_at(
        reading->path(), file.line,
        file.what + " destination " + quote(file.destination) +
            " lies in the user's application data ({AppData}): every reinstall and upgrade replaces it, and "
            "a user's changes to it are lost; ship its defaults inside {App} and let the program make it on "
            "first run"));
  }
}

}  // namespace

void check_paths(Reading* reading) {
  std::vector<uint8_t> script = paths_script(*reading->m);
  reading->session->borrow_script(script);
  // A format version the installer refuses is told with the top level.
  PathJudgement judged;
  if (reading->session->load().empty()) judged = reading->session->judge_paths();
  reading->m->room = judged.room;
  if (!judged.refused.empty() && judged.findings.empty())
    reading->error(0, "the installer would refuse the package it makes: " + judged.refused);
  std::set<std::pair<int, std::u16string>> told;
  for (const PathFinding& f : judged.findings) {
    auto [line, named] = where(reading, f);
    if (!told.insert({line, f.name}).second) continue;
    if (f.bad_name)
      reading->error(line, named + " holds the name " + quote(f.name) + kCannotHold);
    else
      reading->error(line, named + " does not expand as the installer expands it: a folder variable leaves no room");
  }
  warn_of_application_data(reading, judged);
  reading->session->start_over();  // the table's names point into the script, which goes
}

}  // namespace tvpack
