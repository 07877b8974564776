// talvenor-pack try, the run from start to report: the installer and the UI driver
// found and checked, the machine set up, the dialogs driven, the result checked against
// the package while the finish dialog is up, everything ended, then the report (text,
// and JSON with --json) and the exit status.
#include <signal.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "common/errors.h"
#include "common/read_file.h"
#include "common/upcase.h"
#include "pe/package_section.h"
#include "pe/pe_image.h"
#include "platform/text16.h"
#include "try.h"

namespace fs = std::filesystem;

namespace tvpack {
namespace {

const char kDriverName[] = "talvenor-ui-driver.exe";

bool has_package_section(const std::vector<uint8_t>& bytes) {
  try {
    return find_package_section(parse_pe(bytes.data(), bytes.size())) != nullptr;
  } catch (const PackError&) {
    return false;
  }
}

// The driver: --driver, else the first that runs here of: a 64-bit build's (a
// checkout: build/win64/ beside the maker's build/native/, or under the current
// folder), the shipped one beside the maker, in ../share/talvenor/, in build/win32/.
// The installer's own kind first.
std::pair<fs::path, int> find_driver(const TryOptions& o, const Sandbox& sandbox, int installer_bits) {
  std::error_code ec;
  if (!o.driver.empty()) {
    std::vector<uint8_t> bytes = read_file(o.driver);
    int bits = pe_bits(bytes);
    if (bits == 0) throw MachineError(show_path(o.driver) + " is not a Windows program");
    if (!sandbox.runs(bits))
      throw MachineError(show_path(o.driver) + " is a " + std::to_string(bits) + "-bit driver, which cannot run here" +
                         (bits == 32 ? " (no 32-bit Wine, or a kernel without 32-bit support)"
                                     : " (no 64-bit Wine)"));
    return {o.driver, bits};
  }
  std::vector<std::pair<fs::path, int>> places;
  fs::path self = o.self_dir;
  std::vector<std::pair<fs::path, int>> wide = {{"build/win64", 64}};
  std::vector<std::pair<fs::path, int>> narrow = {{"build/win32", 32}};
  if (!self.empty()) {
    wide.insert(wide.begin(), {self / ".." / "win64", 64});
    narrow.insert(narrow.begin(), {{self, 32}, {self / utf8_path(TV_STUB_DIR_FROM_BIN), 32}});
  }
  if (installer_bits == 32) std::swap(wide, narrow);
  places = wide;
  places.insert(places.end(), narrow.begin(), narrow.end());
  std::string tried;
  for (const auto& place : places) {
    fs::path p = (place.first / kDriverName).lexically_normal();
    if (!fs::is_regular_file(p, ec)) continue;
    int bits = pe_bits(read_file(p));
    if (bits != 0 && sandbox.runs(bits)) return {p, bits};
    tried += (tried.empty() ? "" : ", ") + show_path(p) + " (" + std::to_string(bits) + "-bit, cannot run here)";
  }
  throw MachineError("no UI driver (" + std::string(kDriverName) + ") that runs here" +
                     (tried.empty() ? "" : ": found " + tried) +
                     "; build it (cmake --build --preset win64 --target talvenor-ui-driver) or give --driver");
}

// Text as Windows compares names (the case table).
std::u16string folded(const std::string& text) { return upcase(tv::utf8_to_u16(text)); }

std::string seconds(double s) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f s", s);
  return buf;
}

struct Outcome {
  TryRun run;
  CheckResult check;
  bool checked = false;
  std::string wine, display;
  bool xvfb = false;
  int bits = 0;
};

// The verdict's reasons, one line each; none when all is as the package says.
std::vector<std::string> failures(const Outcome& o) {
  std::vector<std::string> why;
  for (const Box& b : o.run.boxes)
    why.push_back("message box " + quote(b.caption) + ": " + quote(b.text) + " (answered " + printable(b.answer) + ")");
  if (!o.run.stopped.empty() && o.run.boxes.empty()) why.push_back(o.run.stopped);
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
  if (r.install_dialog) {
    out << "install dialog after " << seconds(r.to_install) << ": caption " << quote(r.caption) << ", description "
        << quote(r.description) << ", folder " << quote(r.offered) << "\n";
    if (!opt.folder.empty()) out << "typed the folder " << quote(r.typed) << "\n";
  }
  if (r.finish_dialog) {
    out << "finish dialog after " << seconds(r.to_finish) << ": " << quote(r.finish_text) << "; ["
        << (r.launch_ticked ? "x" : " ") << "] " << quote(r.launch_text) << ", ["
        << (r.help_ticked ? "x" : " ") << "] " << quote(r.help_text) << "; "
        << (opt.run ? "left as they were" : "both unticked") << ", 完成 pressed\n";
  }
  for (const Box& b : r.boxes)
    out << "message box " << quote(b.caption) << ": " << quote(b.text) << ", answered " << printable(b.answer) << "\n";
  if (o.checked && o.check.package_stops.empty()) {
    out << "installed to " << o.check.folder << ": " << o.check.files_ok << " of " << o.check.files << " files and "
        << o.check.shortcuts_ok << " of " << o.check.shortcuts << " shortcuts as the package says\n";
    if (opt.verbose)
      for (const std::string& l : o.check.listing) out << "  " << l << "\n";
    if (!o.check.outside.empty()) out << "outside the install folder:\n";
    for (const Placed& p : o.check.outside)
      out << "  " << (p.shortcut ? "shortcut " : "file ") << p.what << " -> " << p.where << "\n";
  } else if (!r.stopped.empty()) {
    out << "not checked: " << r.stopped << "\n";
  }
  for (const StartedProcess& s : r.started)
    out << "started: " << printable(s.image)
        << (s.command_line.empty() ? "" : ", command line " + printable(s.command_line)) << "\n";
  if (opt.run && o.checked) {
    // What the finish button was to start, against the processes seen.
    for (auto item : {std::make_pair("the program ({Launch})", o.check.launch),
                      std::make_pair("the help document ({Help})", o.check.help)}) {
      if (item.second.empty()) continue;
      bool seen = false;
      for (const StartedProcess& s : r.started)
        seen = seen || folded(s.image) == folded(item.second) ||
               folded(s.command_line).find(folded(item.second)) != std::u16string::npos;
      out << item.first << " " << quote(item.second)
          << (seen ? ": started" : ": no process was seen for it (Wine opens a document only with a program "
                                   "registered for its type in the prefix)")
          << "\n";
    }
  }
  for (const Shot& s : r.shots)
    out << "screenshot: " << s.path << " (" << s.dialog << ", " << s.width << "x" << s.height << ")\n";
  if (why.empty()) {
    out << "PASS: the installer showed its dialogs and installed what its package holds\n";
  } else {
    out << "FAIL:\n";
    for (const std::string& w : why) out << "  " << w << "\n";
  }
}

void write_json(const TryOptions& opt, const Outcome& o, const std::vector<std::string>& why, int status) {
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
    << ",\n  \"xvfb\": " << (o.xvfb ? "true" : "false") << ",\n";
  j << "  \"install_dialog\": ";
  if (r.install_dialog)
    j << "{\"seconds\": " << r.to_install << ", \"caption\": " << json_string(r.caption) << ", \"description\": "
      << json_string(r.description) << ", \"folder\": " << json_string(r.offered) << "},\n";
  else
    j << "null,\n";
  j << "  \"typed_folder\": " << (opt.folder.empty() ? "null" : json_string(r.typed)) << ",\n";
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
      << json_string(r.boxes[i].text) << ", \"answer\": " << json_string(r.boxes[i].answer) << "}";
  j << "],\n  \"stopped\": " << (r.stopped.empty() ? "null" : json_string(r.stopped)) << ",\n";
  j << "  \"exit_code\": " << r.exit_code << ",\n";
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
  j << "  \"finish_starts\": {\"program\": " << (o.check.launch.empty() ? "null" : json_string(o.check.launch))
    << ", \"help\": " << (o.check.help.empty() ? "null" : json_string(o.check.help)) << "},\n";
  j << "  \"started\": [";
  for (size_t i = 0; i < r.started.size(); ++i)
    j << (i ? ", " : "") << "{\"image\": " << json_string(r.started[i].image) << ", \"command_line\": "
      << json_string(r.started[i].command_line) << "}";
  j << "],\n  \"screenshots\": [";
  for (size_t i = 0; i < r.shots.size(); ++i)
    j << (i ? ", " : "") << "{\"dialog\": " << json_string(r.shots[i].dialog) << ", \"path\": "
      << json_string(r.shots[i].path) << ", \"width\": " << r.shots[i].width << ", \"height\": " << r.shots[i].height
      << "}";
  j << "],\n  \"failures\": " << list(why) << "\n}\n";
  std::ofstream f(opt.json, std::ios::binary | std::ios::trunc);
  f << j.str();
  f.close();
  if (!f) fail(opt.json, "cannot be written");
}

// Everything that needs the machine; the sandbox is gone (every process ended, the
// throwaway folder removed) when this returns or throws.
void run_installer(const TryOptions& opt, const std::vector<uint8_t>& bytes, std::ostream& err, Outcome* o) {
  Sandbox sandbox(o->bits, err);
  std::pair<fs::path, int> driver_file = find_driver(opt, sandbox, o->bits);
  sandbox.start({opt.installer, driver_file.first});
  o->wine = sandbox.wine_version();
  o->display = sandbox.display();
  o->xvfb = sandbox.own_display();
  DriverSession driver(sandbox, driver_file.second, driver_file.first.filename().string());
  TryRun& run = o->run;
  read_shell_folders(driver, &run);
  std::string name = opt.installer.filename().string();
  if (!reach_install_dialog(driver, sandbox, opt.screenshots, name, opt.timeout, &run)) return;
  if (!reach_finish_dialog(driver, sandbox, opt.screenshots, opt.folder, opt.timeout, &run)) return;
  // For the tests: a command that changes what was installed before it is checked.
  if (const char* hook = std::getenv("TALVENOR_TRY_TEST_HOOK")) sandbox.run_hook(hook);
  // The .lnk files read back as the shell reads them, through the driver.
  auto read_shortcut = [&driver](const std::u16string& link, std::string* target, std::string* args) {
    try {
      for (const std::string& l : driver.command("shortcut " + tv::u16_to_utf8(link))) {
        if (l.compare(0, 16, "shortcut target=") == 0) *target = unescape_driver(l.substr(16));
        if (l.compare(0, 14, "shortcut args=") == 0) *args = unescape_driver(l.substr(14));
      }
      return std::string();
    } catch (const DriverError& e) {
      return std::string(e.what());
    }
  };
  o->check = check_installation(bytes, run.shell_folders, opt.folder.empty() ? run.offered : run.typed,
                                sandbox.prefix(), read_shortcut);
  o->checked = true;
  answer_finish_dialog(driver, opt.run, &run);
}

}  // namespace

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

int try_installer(const TryOptions& opt, std::ostream& out, std::ostream& err) {
  SignalGuard guard;
  struct sigaction ignore = {}, old_pipe;
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &old_pipe);
  struct RestorePipe {
    struct sigaction* old;
    ~RestorePipe() { sigaction(SIGPIPE, old, nullptr); }
  } restore{&old_pipe};

  Outcome o;
  o.run.began = std::chrono::steady_clock::now();
  std::vector<uint8_t> bytes;
  try {
    bytes = read_file(opt.installer);
    o.bits = pe_bits(bytes);
    if (o.bits == 0) fail(opt.installer, "is not a Windows program, so not an installer");
    if (!has_package_section(bytes))
      fail(opt.installer, "is not a Talvenor installer: it carries no package section (.tvpkg)");
    if (!opt.screenshots.empty()) {
      std::error_code ec;
      fs::create_directories(opt.screenshots, ec);
      if (!fs::is_directory(opt.screenshots, ec)) fail(opt.screenshots, "cannot be made as a folder");
    }
    run_installer(opt, bytes, err, &o);
  } catch (const PackError& e) {
    err << "talvenor-pack: " << e.what() << "\n";
    return 2;
  } catch (const MachineError& e) {
    err << "talvenor-pack: try: " << e.what() << "\n";
    return 2;
  } catch (const Interrupted&) {
    err << "talvenor-pack: try: interrupted; every process it started has been ended\n";
    SignalGuard::raise_pending();
    return 130;
  } catch (const std::exception& e) {
    // The driver or the machine failed in a way the run cannot go on from.
    o.run.stopped = std::string("the run could not go on: ") + e.what();
  }
  if (SignalGuard::pending()) {
    err << "talvenor-pack: try: interrupted; every process it started has been ended\n";
    SignalGuard::raise_pending();
    return 130;
  }
  std::vector<std::string> why = failures(o);
  if (why.empty() && !o.checked) why.push_back(o.run.stopped.empty() ? "nothing was checked" : o.run.stopped);
  int status = why.empty() ? 0 : 1;
  write_text(opt, o, why, out);
  if (!opt.json.empty()) {
    try {
      write_json(opt, o, why, status);
    } catch (const PackError& e) {
      err << "talvenor-pack: " << e.what() << "\n";
      return 2;
    }
  }
  return status;
}

}  // namespace tvpack
