// talvenor-pack: makes the Talvenor installer from a manifest (build), from a raw
// install script or stored blob (wrap), reads an installer back (inspect), writes
// its files into a folder (extract) and runs it under Wine to check it (try, Linux).
#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "build/defines.h"
#include "common/errors.h"
#include "common/system.h"
#include "read/extract.h"
#include "read/inspect.h"
#include "build/build.h"
#include "platform/text16.h"
#include "build/progress.h"
#include "tv_version.h"

#ifndef _WIN32
#include "try.h"
#endif

namespace fs = std::filesystem;
using namespace tvpack;

namespace {

uint32_t key_option(const std::string& text) {
  uint32_t key = 0;
  if (!parse_key(text, &key))
    throw PackError("--key " + quote(text) + " is not a 32-bit number (decimal or 0x-hex)");
  return key;
}

fs::path stub_option(const std::string& stub) {
  return stub.empty() ? default_stub(self_dir()) : utf8_path(stub);
}

}  // namespace

int main(int argc, char** argv) {
  use_utf8_console();
  // "libdeflate, levels 1..12 (default 12)", and why the Windows maker stops at 9.
  const bool plain_zlib = std::string(kCompressorName) == "zlib";
  const std::string levels = std::string(kCompressorName) + ", levels " + std::to_string(kMinLevel) + ".." +
                             std::to_string(kMaxLevel) + " (default " + std::to_string(kDefaultLevel) + ")";
  CLI::App app{"talvenor-pack: makes the Talvenor installer and reads installers back. Compresses with " + levels +
               (plain_zlib ? ": this Windows maker has no libdeflate" : "")};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("talvenor-pack ") + TV_VERSION_STRING,
                       "Print the version and exit");
  app.footer(
      "The manifest: manifest.md, in /usr/share/doc/talvenor-pack/ when installed\n"
      "(docs/ in the source).\n\n"
      "Without --stub, the stub talvenor-setup.exe is the first found of: the maker's own\n"
      "folder, ../share/talvenor/ from it (an installed maker), build/win32/ under the\n"
      "current folder. try finds its UI driver talvenor-ui-driver.exe the same way (for a\n"
      "64-bit installer, a 64-bit build's in build/win64/ first); try.md, beside manifest.md,\n"
      "describes its report, exit statuses and what the machine needs.");
  // "/path" is a path (Wine passes Unix paths as they are), never an option.
  app.allow_windows_style_options(false);

  std::string manifest, out, stub, key_text, script, blob, file;
  int level = kDefaultLevel;
  bool quiet = false;
  const std::string level_help =
      std::string("Compression level ") + std::to_string(kMinLevel) + ".." + std::to_string(kMaxLevel) +
      " (" + kCompressorName + ", default " + std::to_string(kDefaultLevel) + ")" +
      (plain_zlib
           ? "; this Windows maker has no libdeflate and writes zlib's streams (the Linux maker "
             "goes to level 12 and makes smaller packages)"
           : "");
  const char* quiet_help = "No progress display and no summary line (warnings and errors still show)";

  CLI::App* build = app.add_subcommand("build", "Make an installer from a manifest");
  build->add_option("MANIFEST", manifest, "The package manifest (TOML)")->required();
  build->add_option("-o,--output", out, "The installer to write")->required();
  build->add_option("--stub", stub, "The installer stub (default: talvenor-setup.exe, see below)");
  build->add_option("--key", key_text, "The scrambling key, decimal or 0x-hex (default 0x2C7E13A5)");
  build->add_option("--level", level, level_help)->check(CLI::Range(kMinLevel, kMaxLevel));
  build->add_flag("-q,--quiet", quiet, quiet_help);
  std::vector<std::string> define_texts;
  build
      ->add_option("-D", define_texts,
                   "A build-time value: VALUE is put in for ${NAME} in every string of the manifest, as it is "
                   "(never read for ${ again). Repeatable; wins over the manifest's [define] table; a NAME the "
                   "manifest never uses is a warning. Example: -D version=2.3.1")
      ->type_name("NAME=VALUE")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->allow_extra_args(false)
      ->check(CLI::Validator(
          [](std::string& text) {
            std::string name, value, problem = parse_define(text, &name, &value);
            return problem;
          },
          "", "NAME=VALUE"));

  CLI::App* wrap = app.add_subcommand("wrap", "Make an installer from a raw install script or blob");
  CLI::Option* script_opt = wrap->add_option("--script", script, "A raw install script, taken as it is");
  CLI::Option* blob_opt = wrap->add_option("--blob", blob, "A raw stored blob, embedded as it is");
  script_opt->excludes(blob_opt);
  wrap->add_option("-o,--output", out, "The installer to write")->required();
  wrap->add_option("--stub", stub, "The installer stub (default: talvenor-setup.exe, see below)");
  CLI::Option* key_opt =
      wrap->add_option("--key", key_text, "The scrambling key, decimal or 0x-hex (default 0x2C7E13A5)");
  blob_opt->needs(key_opt);
  wrap->add_option("--level", level, level_help + "; for --script")->check(CLI::Range(kMinLevel, kMaxLevel));
  wrap->add_flag("-q,--quiet", quiet, quiet_help);

  CLI::App* inspect = app.add_subcommand("inspect", "Print what an installer carries, read as the installer reads it");
  inspect->add_option("FILE", file, "The installer")->required();

  bool force = false;
  CLI::App* extract = app.add_subcommand(
      "extract", "Write an installer's files into a folder as the installer would, with {App} = DIR, "
                 "running nothing (exit status 2 when a file was not written)");
  extract->add_option("INSTALLER", file, "The installer")->required();
  extract->add_option("-o,--output", out, "DIR: the folder, new or empty; files outside {App} go to "
                                          "DIR/_outside/<drive or folder>/...")->required();
  extract->add_flag("--force", force, "Write into DIR even when it is not empty");

  std::string folder, screenshots, json, driver;
  bool run_programs = false, verbose = false;
  int timeout = 60;
  CLI::App* try_cmd = app.add_subcommand(
      "try", "Run an installer under Wine as a user would (Linux): a throwaway Wine prefix, a virtual "
             "display when DISPLAY is unset, its dialogs driven, and what it installed checked against its "
             "package. Exit status 0 when all is as the package says, 1 when something differs or the "
             "installer showed a message box or stopped, 2 for a usage error or a machine that cannot run it");
  try_cmd->add_option("INSTALLER", file, "The installer")->required();
  try_cmd->add_option("--folder", folder, "Type this install folder (a Windows path) into the install dialog");
  try_cmd->add_flag("--run", run_programs, "Leave the finish dialog's boxes ticked and report what it started");
  try_cmd->add_option("--screenshots", screenshots, "Save each dialog as a PNG file in this folder");
  try_cmd->add_option("--json", json, "Write the report as JSON to this file as well");
  try_cmd->add_option("--driver", driver, "The UI driver talvenor-ui-driver.exe (default: found as the stub is)");
  try_cmd->add_option("--timeout", timeout, "Seconds to wait for each dialog (default 60)")->check(CLI::Range(1, 3600));
  try_cmd->add_flag("-v,--verbose", verbose, "List every file and shortcut checked");

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
    std::cerr << "talvenor-pack: " << e.what() << " (see talvenor-pack --help)\n";
    return 2;
  }

  try {
    TerminalProgress progress(stderr, !quiet && is_terminal(stderr));
    PackOptions options;
    options.level = level;
    options.progress = &progress;
    options.warning = [](const std::string& w) { std::cerr << "talvenor-pack: " << w << "\n"; };
    if (*build) {
      for (const std::string& text : define_texts) {
        std::string name, value;
        parse_define(text, &name, &value);  // checked while parsing the command line
        options.defines[name] = value;
      }
      uint32_t key = key_text.empty() ? kDefaultKey : key_option(key_text);
      BuildSummary b = build_installer(utf8_path(manifest), stub_option(stub), key, utf8_path(out), options);
      progress.erase();
      if (!quiet)
        std::cout << out << ": " << b.files << " files, " << b.shortcuts << " shortcuts, install script "
                  << b.script_size << " bytes, container " << b.container_size << " bytes\n";
    } else if (*wrap) {
      if (script.empty() && blob.empty()) throw PackError("wrap needs --script or --blob");
      uint32_t key = key_text.empty() ? kDefaultKey : key_option(key_text);
      uint32_t n = script.empty() ? wrap_blob(utf8_path(blob), stub_option(stub), key, utf8_path(out))
                                  : wrap_script(utf8_path(script), stub_option(stub), key, utf8_path(out), options);
      progress.erase();
      if (!quiet) std::cout << out << ": container " << n << " bytes\n";
    } else if (*extract) {
      return extract_installer(utf8_path(file), utf8_path(out), force, std::cout, std::cerr);
    } else if (*try_cmd) {
#ifdef _WIN32
      std::cerr << "talvenor-pack: try runs on Linux (it runs the installer under Wine); use the Linux maker\n";
      return 2;
#else
      TryOptions t;
      t.installer = utf8_path(file);
      t.folder = folder;
      t.run = run_programs;
      t.verbose = verbose;
      t.screenshots = utf8_path(screenshots);
      t.json = utf8_path(json);
      t.driver = utf8_path(driver);
      t.self_dir = self_dir();
      t.timeout = timeout;
      return try_installer(t, std::cout, std::cerr);
#endif
    } else if (*inspect) {
      std::string problem = inspect_file(utf8_path(file), std::cout);
      std::cout.flush();
      if (!problem.empty()) {
        std::cerr << "talvenor-pack: " << file << ": " << problem << "\n";
        return 1;
      }
    }
  } catch (const PackError& e) {
    std::cout.flush();
    std::cerr << "talvenor-pack: " << e.what() << "\n";
    return 1;
  } catch (const std::bad_alloc&) {
    std::cerr << "talvenor-pack: out of memory\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "talvenor-pack: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
