// The installer's process: starting it and waiting for its end.
#include <windows.h>

#include "driver.h"

namespace drv {

void start_process(Session& session, const std::wstring& path) {
  // Another once the one before has ended (an old version, then the new one).
  if (session.process.hProcess && WaitForSingleObject(session.process.hProcess, 0) != WAIT_OBJECT_0)
    throw Failure{L"a process was already started and still runs"};
  if (session.process.hProcess) {
    CloseHandle(session.process.hProcess);
    CloseHandle(session.process.hThread);
    if (session.job) CloseHandle(session.job);
    session.process = {};
    session.job = nullptr;
    session.dialog = nullptr;
  }
  std::wstring cmd = L"\"" + path + L"\"";
  session.job = start_in_job(path, &cmd, &session.process);
  session.image = path;
  out(L"started pid=" + std::to_wstring(session.process.dwProcessId));
}

void wait_for_exit(Session& session, DWORD ms) {
  if (WaitForSingleObject(session.process.hProcess, ms) != WAIT_OBJECT_0) {
    throw Failure{L"the process is still running"};
  }
  DWORD code = 0;
  GetExitCodeProcess(session.process.hProcess, &code);
  out(L"exit code=" + std::to_wstring(code));
  session.dialog = nullptr;
}

}  // namespace drv
