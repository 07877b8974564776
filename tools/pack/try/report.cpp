// talvenor-pack try's report: what the run saw and found, as text and as JSON, and the
// verdict's reasons.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "common/errors.h"
#include "common/upcase.h"
#include "base/text16.h"
#include "try/report.h"

namespace tvpack {
namespace {

// Text as Windows compares names (the case table).
std::u16string folded(const std::string& text) { return upcase(tv::utf8_to_u16(text)); }

std::string seconds(double s) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f s", s);
  return buf;
}

void write_shot(const Shot& s, std::ostream& out) {
  out << "screenshot: " << s.path << " (" << s.dialog << ", " << s.width << "x" << s.height << ")\n";
}

// One line of what the run saw: a dialog, a folder typed, a box answered, a text cut off,
// a screenshot, a process started, a step of the upgrade.
void write_happening(const TryOptions& opt, const Outcome& o, const Happening& h, std::ostream& out) {
  const TryRun& r = o.run;
  switch (h.what) {
    case Happened::kInstallDialog:
      out << "install dialog after " << seconds(r.to_install) << ": caption " << quote(r.caption) << ", description "
          << quote(r.description) << ", folder " << quote(r.offered) << "\n";
      return;
    case Happened::kTyped:
      out << "typed the folder " << quote(r.typed_folders[h.index]) << "\n";
      return;
    case Happened::kBox: {
      const Box& b = r.boxes[h.index];
      out << "message box " << quote(b.caption) << ": " << quote(b.text) << ", answered " << printable(b.answer)
          << (b.expected ? " (expected)" : "") << "\n";
      return;
    }
    case Happened::kCut: {
      const CutText& c = r.cut[h.index];
      out << "cut off in the " << c.dialog << " dialog: control " << c.id << " " << quote(c.text) << " needs "
          << c.needed << " pixels, has " << c.available << "\n";
      return;
    }
    case Happened::kShot:
      return write_shot(r.shots[h.index], out);
    case Happened::kFinishDialog:
      out << "finish dialog after " << seconds(r.to_finish) << ": " << quote(r.finish_text) << "; ["
          << (r.launch_ticked ? "x" : " ") << "] " << quote(r.launch_text) << ", [" << (r.help_ticked ? "x" : " ")
          << "] " << quote(r.help_text) << "; " << (opt.run ? "left as they were" : "both unticked")
          << ", 完成 pressed\n";
      return;
    case Happened::kStarted: {
      const StartedProcess& p = r.started[h.index];
      out << "started: " << printable(p.image)
          << (p.command_line.empty() ? "" : ", command line " + printable(p.command_line)) << "\n";
      return;
    }
    case Happened::kStep:
      out << "  " << o.upgrade.steps[h.index] << "\n";
      return;
  }
}

// What the run saw up to the check, in the order it happened (started: what came after
// 完成, for after the check).
void write_dialogs(const TryOptions& opt, const Outcome& o, bool started, std::ostream& out) {
  for (const Happening& h : o.run.order)
    if ((h.what == Happened::kStarted) == started) write_happening(opt, o, h, out);
  if (started) return;
  if (o.run.ended_as_expected) out << "ended after the last expected box, the install dialog closed\n";
  if (!o.run.moved_aside.empty()) out << "the installer moved the existing folder aside to " << o.run.moved_aside << "\n";
}

// The upgrade (--over): the old versions' installs, their screenshots, and the steps of
// --running taken before the new version started.
void write_upgrade(const Outcome& o, std::ostream& out) {
  const Upgrade& u = o.upgrade;
  for (const std::string& e : o.earlier) out << "older version " << e << ": installed, then the next over it\n";
  for (const Shot& s : o.old_shots) write_shot(s, out);
  out << "old version " << u.installer << ": ";
  if (!u.failed.empty()) {
    out << "did not install as its package says\n";
    return;
  }
  out << "installed to " << u.check.folder << ": " << u.check.files_ok << " files and " << u.check.shortcuts_ok
      << " shortcuts\n";
  std::vector<bool> later(u.steps.size());
  for (const Happening& h : o.run.order)
    if (h.what == Happened::kStep && h.index < later.size()) later[h.index] = true;
  for (size_t i = 0; i < u.steps.size(); ++i)
    if (!later[i]) out << "  " << u.steps[i] << "\n";
}

// What became of the old version (--over), after the new version's check.
void write_upgrade_result(const Outcome& o, std::ostream& out) {
  const Upgrade& u = o.upgrade;
  if (!o.checked || !u.failed.empty()) return;
  if (!o.run.moved_aside.empty())
    out << "old version kept whole in " << o.run.moved_aside << ": " << u.kept.files_ok << " of " << u.kept.files
        << " files of its package with their bytes\n";
  for (const std::string& s : u.left_behind)
    out << "left behind: shortcut " << s << " (the old version's; the new one does not make it)\n";
  for (const std::string& r : u.replaced) out << "replaced: " << r << " (a user's changes to it would be lost)\n";
  if (u.changed.empty()) out << "nothing else changed on drives C: and D:\n";
}

// Each step of the upgrade as JSON members.
void write_upgrade_json(const Outcome& o, std::ostream& j) {
  auto list = [](const std::vector<std::string>& items) {
    std::string s = "[";
    for (size_t i = 0; i < items.size(); ++i) s += (i ? ", " : "") + json_string(items[i]);
    return s + "]";
  };
  const Upgrade& u = o.upgrade;
  j << "  \"upgrade\": ";
  if (!o.over) {
    j << "null,\n";
    return;
  }
  j << "{\"old_installer\": " << json_string(u.installer) << ", \"earlier\": " << list(o.earlier) << ", \"folder\": " << json_string(u.check.folder)
    << ", \"old_installed\": " << (u.failed.empty() ? "true" : "false") << ", \"old_failures\": " << list(u.failed)
    << ", \"old_files\": " << u.check.files_ok << ", \"old_shortcuts\": " << u.check.shortcuts_ok
    << ", \"running_steps\": " << list(u.steps) << ", \"kept_in\": "
    << (o.run.moved_aside.empty() ? "null" : json_string(o.run.moved_aside)) << ", \"kept_files\": {\"verified\": "
    << u.kept.files_ok << ", \"in_package\": " << u.kept.files << "}, \"not_whole\": " << list(u.not_whole)
    << ", \"left_behind\": " << list(u.left_behind) << ", \"replaced\": " << list(u.replaced)
    << ", \"changed\": " << list(u.changed) << "},\n";
}

// Whether a process was seen for what the finish dialog starts (a path).
bool seen_started(const Outcome& o, const std::string& path) {
  for (const StartedProcess& s : o.run.started)
    if (folded(s.image) == folded(path) || folded(s.command_line).find(folded(path)) != std::u16string::npos)
      return true;
  return false;
}

// What the finish button was to start, against the processes seen.
void write_finish_starts(const Outcome& o, std::ostream& out) {
  for (auto item : {std::make_pair("the program ({Launch})", o.check.launch),
                    std::make_pair("the help document ({Help})", o.check.help)}) {
    if (item.second.empty()) continue;
    out << item.first << " " << quote(item.second)
        << (seen_started(o, item.second) ? ": started"
                                         : ": no process was seen for it (Wine opens a document only with a program "
                                           "registered for its type in the prefix)")
        << "\n";
  }
}

// What the finish dialog starts as JSON: the path and whether a process was seen for it
// (null without --run, when nothing is to start).
std::string finish_start_json(const TryOptions& opt, const Outcome& o, const std::string& path) {
  if (path.empty()) return "null";
  return "{\"path\": " + json_string(path) + ", \"started\": " +
         (!opt.run || !o.checked ? "null" : seen_started(o, path) ? "true" : "false") + "}";
}

// The dialogs, boxes and end of the run as JSON members.
void write_dialogs_json(const TryOptions& opt, const TryRun& r, std::ostream& j) {
  j << "  \"install_dialog\": ";
  if (r.install_dialog)
    j << "{\"seconds\": " << r.to_install << ", \"caption\": " << json_string(r.caption) << ", \"description\": "
      << json_string(r.description) << ", \"folder\": " << json_string(r.offered) << "},\n";
  else
    j << "null,\n";
  j << "  \"typed_folder\": " << (r.typed_folders.empty() ? "null" : json_string(r.typed)) << ",\n";
  j << "  \"typed_folders\": [";
  for (size_t i = 0; i < r.typed_folders.size(); ++i) j << (i ? ", " : "") << json_string(r.typed_folders[i]);
  j << "],\n  \"moved_aside\": " << (r.moved_aside.empty() ? "null" : json_string(r.moved_aside)) << ",\n";
  j << "  \"ended_as_expected\": " << (r.ended_as_expected ? "true" : "false") << ",\n";
  j << "  \"missing_boxes\": [";
  for (size_t i = 0; i < r.missing_boxes.size(); ++i) j << (i ? ", " : "") << json_string(r.missing_boxes[i]);
  j << "],\n";
  j << "  \"finish_dialog\": ";
  if (r.finish_dialog)
    j << "{\"seconds\": " << r.to_finish << ", \"text\": " << json_string(r.finish_text)
      << ", \"launch\": {\"text\": " << json_string(r.launch_text) << ", \"ticked\": "
      << (r.launch_ticked ? "true" : "false") << "}, \"help\": {\"text\": " << json_string(r.help_text)
      << ", \"ticked\": " << (r.help_ticked ? "true" : "false") << "}, \"left_ticked\": "
      << (opt.run ? "true" : "false") << "},\n";
  else
    j << "null,\n";
  j << "  \"message_boxes\": [";
  for (size_t i = 0; i < r.boxes.size(); ++i)
    j << (i ? ", " : "") << "{\"caption\": " << json_string(r.boxes[i].caption) << ", \"text\": "
      << json_string(r.boxes[i].text) << ", \"answer\": " << json_string(r.boxes[i].answer)
      << ", \"expected\": " << (r.boxes[i].expected ? "true" : "false") << "}";
  j << "],\n  \"cut_texts\": [";
  for (size_t i = 0; i < r.cut.size(); ++i)
    j << (i ? ", " : "") << "{\"dialog\": " << json_string(r.cut[i].dialog) << ", \"control\": " << r.cut[i].id
      << ", \"text\": " << json_string(r.cut[i].text) << ", \"needed\": " << json_string(r.cut[i].needed)
      << ", \"available\": " << json_string(r.cut[i].available) << "}";
  j << "],\n  \"stopped\": " << (r.stopped.empty() ? "null" : json_string(r.stopped)) << ",\n";
  j << "  \"installer_exit_code\": " << (r.exit_code < 0 ? "null" : std::to_string(r.exit_code)) << ",\n";
}

// What the check found as JSON members.
void write_check_json(const TryOptions& opt, const Outcome& o, std::ostream& j) {
  if (o.checked && o.check.package_stops.empty()) {
    j << "  \"folder\": " << json_string(o.check.folder) << ",\n  \"files\": {\"verified\": " << o.check.files_ok
      << ", \"in_package\": " << o.check.files << "},\n  \"shortcuts\": {\"verified\": " << o.check.shortcuts_ok
      << ", \"in_package\": " << o.check.shortcuts << "},\n  \"outside\": [";
    for (size_t i = 0; i < o.check.outside.size(); ++i)
      j << (i ? ", " : "") << "{\"kind\": \"" << (o.check.outside[i].shortcut ? "shortcut" : "file")
        << "\", \"name\": " << json_string(o.check.outside[i].what) << ", \"path\": "
        << json_string(o.check.outside[i].where) << "}";
    j << "],\n";
  } else {
    j << "  \"folder\": null,\n  \"files\": null,\n  \"shortcuts\": null,\n  \"outside\": [],\n";
  }
  j << "  \"finish_starts\": {\"program\": " << finish_start_json(opt, o, o.check.launch)
    << ", \"help\": " << finish_start_json(opt, o, o.check.help) << "},\n";
}

// The upgrade's reasons (--over).
void upgrade_failures(const Outcome& o, std::vector<std::string>* why) {
  const Upgrade& u = o.upgrade;
  for (const std::string& f : u.failed) why->push_back("the old version: " + f);
  if (!u.failed.empty() || !o.checked) return;
  if (o.run.moved_aside.empty())
    why->push_back("the old version's folder " + u.check.folder + " was not moved aside");
  for (const std::string& p : u.kept.problems) why->push_back("the old version: " + p);
  for (const std::string& p : u.not_whole) why->push_back("the old version not moved whole: " + p);
  for (const std::string& c : u.changed) why->push_back("changed besides the upgrade: " + c);
}

}  // namespace

std::vector<std::string> failures(const Outcome& o) {
  std::vector<std::string> why;
  for (const Box& b : o.run.boxes)
    if (!b.expected) why.push_back("message box " + quote(b.caption) + ": " + quote(b.text) + " (answered " + printable(b.answer) + ")");
  for (const CutText& c : o.run.cut)
    why.push_back("the " + c.dialog + " dialog cuts off the text of control " + std::to_string(c.id) + ": " +
                  quote(c.text));
  bool box_stopped = !o.run.boxes.empty() && !o.run.boxes.back().expected;
  if (!o.run.stopped.empty() && !box_stopped) why.push_back(o.run.stopped);
  for (const std::string& t : o.run.missing_boxes) why.push_back("no message box held " + quote(t) + " (--expect-box)");
  if (!o.run.moved_own.empty())
    why.push_back("the installer moved aside " + o.run.moved_own + ", a folder of the system's or the user's (to " +
                  o.run.moved_aside + ")");
  if (o.over) upgrade_failures(o, &why);
  if (!o.check.package_stops.empty()) why.push_back("the package stops the installer: " + o.check.package_stops);
  for (const std::string& p : o.check.problems) why.push_back(p);
  if (o.run.finish_dialog && o.run.stopped.empty() && o.run.exit_code != 0)
    why.push_back("the installer ended with exit code " + std::to_string(o.run.exit_code));
  return why;
}

void write_text(const TryOptions& opt, const Outcome& o, const std::vector<std::string>& why, std::ostream& out) {
  const TryRun& r = o.run;
  out << "try: " << show_path(opt.installer) << ", a " << o.bits << "-bit installer, under " << o.wine
      << " on display " << o.display << (o.xvfb ? " (Xvfb)" : "") << "\n";
  out << o.names;
  out << "Wine user: " << opt.user << "\n";
  if (o.over) write_upgrade(o, out);
  write_dialogs(opt, o, false, out);
  if (o.checked && o.check.package_stops.empty()) {
    out << "installed to " << o.check.folder << ": " << o.check.files_ok << " of " << o.check.files << " files and "
        << o.check.shortcuts_ok << " of " << o.check.shortcuts << " shortcuts as the package says\n";
    if (opt.verbose)
      for (const std::string& l : o.check.listing) out << "  " << l << "\n";
    if (!o.check.outside.empty()) out << "outside the install folder:\n";
    for (const Placed& p : o.check.outside)
      out << "  " << (p.shortcut ? "shortcut " : "file ") << p.what << " -> " << p.where << "\n";
    if (o.over) write_upgrade_result(o, out);
  } else if (!r.stopped.empty()) {
    out << "not checked: " << r.stopped << "\n";
  }
  for (const std::string& n : o.check.notes) out << "note: " << n << "\n";
  write_dialogs(opt, o, true, out);
  if (opt.run && o.checked) write_finish_starts(o, out);
  if (why.empty() && r.ended_as_expected) {
    out << "PASS: the installer showed the boxes expected\n";
  } else if (why.empty()) {
    out << "PASS: the installer showed its dialogs and installed what its package holds" << (o.over ? ", over the old version" : "") << "\n";
  } else {
    out << "FAIL:\n";
    for (const std::string& w : why) out << "  " << w << "\n";
  }
}

std::string write_json(const TryOptions& opt, const Outcome& o, const std::vector<std::string>& why, int status) {
  const TryRun& r = o.run;
  std::ostringstream j;
  auto list = [&](const std::vector<std::string>& items) {
    std::string s = "[";
    for (size_t i = 0; i < items.size(); ++i) s += (i ? ", " : "") + json_string(items[i]);
    return s + "]";
  };
  j << "{\n  \"installer\": " << json_string(show_path(opt.installer)) << ",\n  \"status\": " << status
    << ",\n  \"passed\": " << (why.empty() ? "true" : "false") << ",\n  \"bits\": " << o.bits
    << ",\n  \"wine\": " << json_string(o.wine) << ",\n  \"display\": " << json_string(o.display)
    << ",\n  \"xvfb\": " << (o.xvfb ? "true" : "false") << ",\n  \"user\": " << json_string(opt.user) << ",\n";
  write_dialogs_json(opt, r, j);
  write_upgrade_json(o, j);
  write_check_json(opt, o, j);
  j << "  \"started\": [";
  for (size_t i = 0; i < r.started.size(); ++i)
    j << (i ? ", " : "") << "{\"image\": " << json_string(r.started[i].image) << ", \"command_line\": "
      << json_string(r.started[i].command_line) << "}";
  j << "],\n  \"screenshots\": [";
  std::vector<Shot> shots = o.old_shots;
  shots.insert(shots.end(), r.shots.begin(), r.shots.end());
  for (size_t i = 0; i < shots.size(); ++i)
    j << (i ? ", " : "") << "{\"version\": " << json_string(shots[i].version) << ", \"dialog\": "
      << json_string(shots[i].dialog) << ", \"path\": " << json_string(shots[i].path) << ", \"width\": "
      << shots[i].width << ", \"height\": " << shots[i].height << "}";
  j << "],\n  \"notes\": " << list(o.check.notes) << ",\n  \"failures\": " << list(why) << "\n}\n";
  errno = 0;
  std::ofstream f(opt.json, std::ios::binary | std::ios::trunc);
  f << j.str();
  f.close();
  if (!f) return "cannot be written (" + system_reason("the write failed") + ")";
  return "";
}

std::string json_string(const std::string& text) {
  // Read as UTF-16: a byte that is no UTF-8 becomes U+FFFD, and so does half of a pair.
  std::u16string units = tv::utf8_to_u16(text);
  std::string out = "\"";
  for (size_t i = 0; i < units.size(); ++i) {
    char16_t c = units[i];
    size_t n = 1;
    if (c == u'"' || c == u'\\') {
      out += '\\';
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", unsigned(c));
      out += buf;
      continue;
    } else if (c >= 0xD800 && c < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
      n = 2;
    } else if (c >= 0xD800 && c < 0xE000) {
      units[i] = 0xFFFD;
    }
    out += tv::u16_to_utf8(units.substr(i, n));
    i += n - 1;
  }
  return out + "\"";
}

}  // namespace tvpack
