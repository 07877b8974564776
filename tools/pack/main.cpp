// talvenor-pack: makes the Talvenor installer from a manifest (build), from a raw
// install script or stored blob (wrap), reads an installer back (inspect), writes
// its files into a folder (extract) and runs it under Wine to check it (try, Linux).
// One function per subcommand defines its options, one runs it by calling its job.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "assemble/build.h"
#include "assemble/defines.h"
#include "assemble/progress.h"
#include "common/beside_maker.h"
#include "common/errors.h"
#include "common/system.h"
#include "read/extract.h"
#include "read/inspect.h"
#include "try/try.h"
#include "tv_version.h"

namespace fs = std::filesystem;
using namespace tvpack;

namespace {

const char* const kStubHelp = "The installer stub (default: talvenor-setup.exe, see below)";
const char* const kKeyHelp = "The scrambling key, decimal or 0x-hex (default 0x2C7E13A5)";
const char* const kQuietHelp = "No progress display and no summary line (warnings and errors still show)";

// The Windows maker has no libdeflate: it stops at level 9.
bool plain_zlib() { return std::string(kCompressorName) == "zlib"; }

std::string level_help() {
  return std::string("Compression level ") + std::to_string(kMinLevel) + ".." + std::to_string(kMaxLevel) + " (" +
         kCompressorName + ", default " + std::to_string(kDefaultLevel) + ")" +
         (plain_zlib() ? "; this Windows maker has no libdeflate and writes zlib's streams (the Linux maker "
                         "goes to level 12 and makes smaller packages)"
                       : "");
}

uint32_t key_option(const std::string& text) {
  if (text.empty()) return kDefaultKey;
  uint32_t key = 0;
  if (!parse_key(text, &key)) fail("--key " + quote(text) + " is not a 32-bit number (decimal or 0x-hex)");
  return key;
}

fs::path stub_option(const std::string& stub) { return stub.empty() ? default_stub(self_dir()) : utf8_path(stub); }

// What build and wrap share: the progress line and the warnings on stderr.
struct Making {
  std::string out, stub, key;
  int level = kDefaultLevel;
  bool quiet = false;
};

// Runs the job with the build's options: the level, the progress line on a terminal
// (erased at the end), the warnings on stderr.
template <class Job>
auto with_progress(const Making& m, BuildOptions options, Job job) {
  TerminalProgress progress(stderr, !m.quiet && is_terminal(stderr));
  options.level = m.level;
  options.progress = &progress;
  options.warning = [](const std::string& w) { tell(std::cerr, w); };
  auto result = job(options);
  progress.erase();
  return result;
}

// The output and the stub, for build and wrap.
void add_making_options(CLI::App* command, Making* m) {
  command->add_option("-o,--output", m->out, "The installer to write")->required();
  command->add_option("--stub", m->stub, kStubHelp);
  command->footer(std::string("Without --stub, the stub talvenor-setup.exe is the first found in:\n") + kBesideMakerText +
                  ".");
}

// --- build ---------------------------------------------------------------------------

struct BuildCommand {
  std::string manifest;
  Making making;
  std::vector<std::string> defines;
};

CLI::App* define_build(CLI::App& app, BuildCommand* c) {
  CLI::App* build = app.add_subcommand("build", "Make an installer from a manifest");
  build->add_option("MANIFEST", c->manifest, "The package manifest (TOML)")->required();
  add_making_options(build, &c->making);
  build->add_option("--key", c->making.key, kKeyHelp);
  build->add_option("--level", c->making.level, level_help())->check(CLI::Range(kMinLevel, kMaxLevel));
  build->add_flag("-q,--quiet", c->making.quiet, kQuietHelp);
  build
      ->add_option("-D", c->defines,
                   "A build-time value: VALUE is put in for ${NAME} in every string of the manifest, as it is "
                   "(never read for ${ again). Repeatable; wins over the manifest's [define] table; a NAME the "
                   "manifest never uses is an error. Example: -D version=2.3.1")
      ->type_name("NAME=VALUE")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->allow_extra_args(false)
      ->check(CLI::Validator(
          [](std::string& text) {
            std::string name, value;
            return parse_define(text, &name, &value);
          },
          "", "NAME=VALUE"));
  return build;
}

int run_build(const BuildCommand& c) {
  BuildOptions options;
  for (const std::string& text : c.defines) {
    std::string name, value;
    parse_define(text, &name, &value);  // checked while parsing the command line
    options.defines[name] = value;
  }
  uint32_t key = key_option(c.making.key);
  BuildSummary b = with_progress(c.making, options, [&](const BuildOptions& o) {
    return build_installer(utf8_path(c.manifest), stub_option(c.making.stub), key, utf8_path(c.making.out), o);
  });
  if (!c.making.quiet)
    std::cout << c.making.out << ": " << b.files << " files, " << b.shortcuts << " shortcuts, install script "
              << b.script_size << " bytes, container " << b.container_size << " bytes, install folder up to "
              << b.room << " characters\n";
  return 0;
}

// --- wrap ----------------------------------------------------------------------------

struct WrapCommand {
  std::string script, blob;
  Making making;
};

CLI::App* define_wrap(CLI::App& app, WrapCommand* c) {
  CLI::App* wrap = app.add_subcommand("wrap", "Make an installer from a raw install script or blob");
  CLI::Option* script = wrap->add_option("--script", c->script, "A raw install script, taken as it is");
  CLI::Option* blob = wrap->add_option("--blob", c->blob, "A raw stored blob, embedded as it is");
  script->excludes(blob);
  add_making_options(wrap, &c->making);
  blob->needs(wrap->add_option("--key", c->making.key, kKeyHelp));
  wrap->add_option("--level", c->making.level, level_help() + "; for --script")
      ->check(CLI::Range(kMinLevel, kMaxLevel));
  wrap->add_flag("-q,--quiet", c->making.quiet, kQuietHelp);
  return wrap;
}

int run_wrap(const WrapCommand& c) {
  if (c.script.empty() && c.blob.empty()) fail("wrap needs --script or --blob");
  uint32_t key = key_option(c.making.key);
  uint32_t n = with_progress(c.making, BuildOptions(), [&](const BuildOptions& o) {
    fs::path stub = stub_option(c.making.stub), out = utf8_path(c.making.out);
    return c.script.empty() ? wrap_blob(utf8_path(c.blob), stub, key, out, o)
                            : wrap_script(utf8_path(c.script), stub, key, out, o);
  });
  if (!c.making.quiet) std::cout << c.making.out << ": container " << n << " bytes\n";
  return 0;
}

// --- inspect -------------------------------------------------------------------------

CLI::App* define_inspect(CLI::App& app, std::string* file) {
  CLI::App* inspect = app.add_subcommand("inspect", "Print what an installer carries, read as the installer reads it");
  inspect->add_option("FILE", *file, "The installer")->required();
  return inspect;
}

int run_inspect(const std::string& file) {
  std::string problem = inspect_file(utf8_path(file), std::cout);
  if (!problem.empty()) fail(utf8_path(file), problem);
  return 0;
}

// --- extract -------------------------------------------------------------------------

struct ExtractCommand {
  std::string installer, out;
  bool force = false;
};

CLI::App* define_extract(CLI::App& app, ExtractCommand* c) {
  CLI::App* extract = app.add_subcommand(
      "extract", "Write an installer's files into a folder as the installer would, with {App} = DIR, "
                 "running nothing (exit status 2 when a file was not written)");
  extract->add_option("INSTALLER", c->installer, "The installer")->required();
  extract->add_option("-o,--output", c->out, "DIR: the folder, new or empty; files outside {App} go to "
                                             "DIR/_outside/<drive or folder>/...")->required();
  extract->add_flag("--force", c->force, "Write into DIR even when it is not empty");
  return extract;
}

int run_extract(const ExtractCommand& c) {
  return extract_installer(utf8_path(c.installer), utf8_path(c.out), c.force, std::cout, std::cerr);
}

// --- try -----------------------------------------------------------------------------

struct TryCommand {
  std::string installer, user = kDefaultWineUser, screenshots, json, driver;
  std::vector<std::string> folders, boxes, over;
  CLI::Option *folder = nullptr, *box = nullptr;
  CLI::App* command = nullptr;
  bool running = false, run = false, verbose = false;
  int timeout = 60;
};

CLI::App* define_try(CLI::App& app, TryCommand* c) {
  CLI::App* try_cmd = app.add_subcommand(
      "try", "Run an installer under Wine as a user would (Linux): a throwaway Wine prefix, a virtual "
             "display when DISPLAY is unset, its dialogs driven, and what it installed checked against its "
             "package. Exit status 0 when all is as the package says, 1 when something differs or the "
             "installer showed a message box or stopped, 2 for a usage error or a machine that cannot run it");
  try_cmd->add_option("INSTALLER", c->installer, "The installer")->required();
  c->command = try_cmd;
  c->folder = try_cmd->add_option("--folder", c->folders,
                                  "Type this install folder (a Windows path; '' for an empty one) into the install "
                                  "dialog; after an --expect-box, type it and press install again");
  c->box = try_cmd->add_option("--expect-box", c->boxes,
                               "A message box whose text holds TEXT is expected next: it is answered and is no "
                               "failure; the run fails when it never comes (repeatable, in order)");
  try_cmd->add_option("--over", c->over,
                      "Install this old version first (into the folder the new one offers, or --folder), "
                      "then the new one over it, and check the upgrade (repeatable: each old version is "
                      "installed over the one before)");
  try_cmd->add_flag("--running", c->running,
                    "With --over: the old version's program runs, and its folder is held open, when the new "
                    "one installs; the rename box is answered, the program closed, install pressed again");
  try_cmd->add_option("--user", c->user,
                      std::string("The Wine user's name (default ") + kDefaultWineUser +
                          ", 20 characters, the longest Windows allows)");
  try_cmd->add_flag("--run", c->run, "Leave the finish dialog's boxes ticked and report what it started");
  try_cmd->add_option("--screenshots", c->screenshots, "Save each dialog as a PNG file in this folder");
  try_cmd->add_option("--json", c->json, "Write the report as JSON to this file as well");
  try_cmd->add_option("--driver", c->driver, "The UI driver talvenor-ui-driver.exe (default: see below)");
  try_cmd->add_option("--timeout", c->timeout, "Seconds to wait for each dialog (default 60)")
      ->check(CLI::Range(1, 3600));
  try_cmd->add_flag("-v,--verbose", c->verbose,
                    "List every file and shortcut checked; say on stderr when the install and finish dialogs come up");
  try_cmd->footer(std::string("Without --driver, the UI driver talvenor-ui-driver.exe is the first that runs here\n"
                              "of those in:\n") +
                  kBesideMakerText +
                  ",\n  - ../win64/ from the maker's folder (a source build's 64-bit driver): first for a\n"
                  "    64-bit installer, last for a 32-bit one.\n"
                  "try.md, beside manifest.md, describes the report, the exit statuses and what the\n"
                  "machine needs.");
  return try_cmd;
}

int run_try(const TryCommand& c) {
  TryOptions t;
  t.installer = utf8_path(c.installer);
  for (const std::string& o : c.over) t.over.push_back(utf8_path(o));
  t.running = c.running;
  t.user = c.user;
  // --folder and --expect-box in the order given.
  size_t folder = 0, box = 0;
  for (const CLI::Option* o : c.command->parse_order()) {
    if (o == c.folder && folder < c.folders.size()) t.steps.push_back({false, c.folders[folder++]});
    if (o == c.box && box < c.boxes.size()) t.steps.push_back({true, c.boxes[box++]});
  }
  t.run = c.run;
  t.verbose = c.verbose;
  t.screenshots = utf8_path(c.screenshots);
  t.json = utf8_path(c.json);
  t.driver = utf8_path(c.driver);
  t.self_dir = self_dir();
  t.timeout = c.timeout;
  add_test_hook(&t);
  return try_installer(t, std::cout, std::cerr);
}

// ---------------------------------------------------------------------------------------

void describe(CLI::App& app) {
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string(kMakerName) + " " + TV_VERSION_STRING, "Print the version and exit");
  app.footer(
      "The manifest: manifest.md, in /usr/share/doc/talvenor-pack/ when installed\n"
      "(docs/ in the source). Each command's --help describes its own options.");
  // "/path" is a path (Wine passes Unix paths as they are), never an option.
  app.allow_windows_style_options(false);
}

// The job's exit status; an error it fails with is on stderr, the maker's name before
// each of its lines (a manifest's mistakes are told together), and status 1.
int run_job(const std::function<int()>& job) {
  try {
    return job();
  } catch (const PackError& e) {
    std::cout.flush();
    tell(std::cerr, e.what());
  } catch (const std::bad_alloc&) {
    tell(std::cerr, "out of memory");
  } catch (const std::exception& e) {
    tell(std::cerr, e.what());
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  use_utf8_console();
  // "libdeflate, levels 1..12 (default 12)", and why the Windows maker stops at 9.
  CLI::App app{told("makes the Talvenor installer and reads installers back. Compresses with ") +
               std::string(kCompressorName) + ", levels " + std::to_string(kMinLevel) + ".." +
               std::to_string(kMaxLevel) + " (default " + std::to_string(kDefaultLevel) + ")" +
               (plain_zlib() ? ": this Windows maker has no libdeflate" : "")};
  describe(app);
  BuildCommand build;
  WrapCommand wrap;
  std::string inspected;
  ExtractCommand extract;
  TryCommand try_args;
  const std::vector<std::pair<CLI::App*, std::function<int()>>> commands = {
      {define_build(app, &build), [&] { return run_build(build); }},
      {define_wrap(app, &wrap), [&] { return run_wrap(wrap); }},
      {define_inspect(app, &inspected), [&] { return run_inspect(inspected); }},
      {define_extract(app, &extract), [&] { return run_extract(extract); }},
      {define_try(app, &try_args), [&] { return run_try(try_args); }},
  };

  std::vector<std::string> args = utf8_arguments(argc, argv);
  std::vector<char*> arg_ptrs;
  for (auto& a : args) arg_ptrs.push_back(a.data());
  try {
    app.parse(int(arg_ptrs.size()), arg_ptrs.data());
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    tell(std::cerr, std::string(e.what()) + " (see " + kMakerName + " --help)");
    return 2;
  }
  for (const auto& [command, run] : commands)
    if (*command) return run_job(run);
  return 0;
}
