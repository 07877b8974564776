// talvenor-ui-driver: drives an installer's dialogs, for `talvenor-pack try` and the
// end-to-end tests.
//
//   talvenor-ui-driver                  commands from standard input, one a line
//   talvenor-ui-driver -f SCRIPT        commands from a UTF-8 file
//   talvenor-ui-driver CMD ARGS ; CMD   commands on the command line, split at ";"
//
// Every command prints its results and then "ok" or "error: ...". From a file or
// the command line the first error ends the run with exit code 1. A text in an answer
// (a caption, a control's text, a path) is kept on its line as tools/line_escape writes
// it: a backslash, a line feed and a carriage return as \\, \n and \r. The commands
// are listed in commands.cpp.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "driver.h"

namespace {

// Runs one line; false when it failed.
bool run_line(drv::Session& session, std::wstring line) {
  while (!line.empty() && (line.back() == L'\r' || line.back() == L'\n')) line.pop_back();
  size_t i = line.find_first_not_of(L' ');
  if (i == std::wstring::npos || line[i] == L'#') return true;
  line = line.substr(i);
  try {
    drv::run_command(session, line);
    drv::out(L"ok");
    return true;
  } catch (const drv::Failure& f) {
    drv::out(L"error: " + f.why);
    return false;
  }
}

std::vector<std::wstring> script_lines(int argc, wchar_t** argv, bool* interactive) {
  std::vector<std::wstring> lines;
  *interactive = argc < 2;
  if (argc >= 3 && std::wstring(argv[1]) == L"-f") {
    FILE* f = _wfopen(argv[2], L"rb");
    if (!f) return {L"error-missing-script"};
    std::string content;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) content.append(buf, n);
    fclose(f);
    std::wstringstream ss(drv::from_utf8(content));
    std::wstring l;
    while (std::getline(ss, l)) lines.push_back(l);
  } else {
    std::wstring cur;
    for (int i = 1; i < argc; ++i) {
      std::wstring a = argv[i];
      if (a == L";") {
        lines.push_back(cur);
        cur.clear();
      } else {
        cur += (cur.empty() ? L"" : L" ") + a;
      }
    }
    if (!cur.empty()) lines.push_back(cur);
  }
  return lines;
}

}  // namespace

int main() {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stdin), _O_BINARY);
  CoInitialize(nullptr);
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  drv::Session session;
  bool interactive = false;
  std::vector<std::wstring> lines = script_lines(argc, argv, &interactive);
  int status = 0;
  if (interactive) {
    char buf[8192];
    while (fgets(buf, sizeof buf, stdin)) run_line(session, drv::from_utf8(buf));
  } else {
    for (const std::wstring& l : lines) {
      if (!run_line(session, l)) {
        status = 1;
        break;
      }
    }
  }
  for (auto& lock : session.locks) CloseHandle(lock.second);
  CoUninitialize();
  return status;
}
