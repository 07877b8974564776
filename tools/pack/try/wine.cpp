// talvenor-pack try, finding Wine: Debian's own paths first, then PATH; for a 32-bit
// installer, the 32-bit probe and 32-bit Wine; the server and the version. What is
// missing is said in one line with the command that installs it.
#include "try/wine.h"

#include "try/machine_error.h"
#include "try/probe32.h"
#include "try/processes.h"

namespace fs = std::filesystem;

namespace tvpack {

Wine find_wine(int bits) {
  Wine w;
  fs::path wine64 = executable("/usr/lib/wine/wine64") ? fs::path("/usr/lib/wine/wine64") : on_path("wine64");
  fs::path wine32 = executable("/usr/lib/wine/wine") ? fs::path("/usr/lib/wine/wine") : fs::path();
  if (wine64.empty() && wine32.empty() && on_path("wine").empty())
    fail_machine("Wine is not installed: on Debian, apt-get install wine wine64 (and for 32-bit "
                       "installers: dpkg --add-architecture i386 && apt-get update && apt-get install wine32:i386)");
  w.wine64 = wine64.string();
  if (bits == 32) {
    Probe32 probe = probe_32bit(probe_folders());
    if (probe.runs < 0)
      fail_machine("this is a 32-bit installer, and whether this machine's kernel runs 32-bit programs cannot "
                   "be told: " + probe.why);
    if (probe.runs == 0)
      fail_machine("this is a 32-bit installer, and this machine's kernel cannot run 32-bit programs, so "
                         "Wine cannot run it here; the installer itself is fine (try it where 32-bit code runs)");
    if (wine32.empty()) wine32 = on_path("wine");
    if (wine32.empty() || first_line_of({wine32.string(), "--version"}).empty())
      fail_machine("this is a 32-bit installer and 32-bit Wine is missing: dpkg --add-architecture i386 && "
                         "apt-get update && apt-get install wine32:i386");
    w.wine = w.wine32 = wine32.string();
  } else {
    w.wine32 = wine32.string();
    if (wine64.empty())
      fail_machine("64-bit Wine is missing: apt-get install wine64");
    w.wine = wine64.string();
  }
  // The prefix is made by 64-bit Wine where there is one (it runs both kinds).
  w.arch = wine64.empty() ? "win32" : "win64";
  w.boot = wine64.empty() ? w.wine : wine64.string();
  w.version = first_line_of({w.wine, "--version"});
  if (w.version.empty()) fail_machine(w.wine + " --version does not answer: Wine is not usable here");
  fs::path server = on_path("wineserver");
  if (server.empty() && executable("/usr/lib/wine/wineserver")) server = "/usr/lib/wine/wineserver";
  if (server.empty()) fail_machine("wineserver is not installed: apt-get install wine");
  w.server = server.string();
  return w;
}

}  // namespace tvpack
