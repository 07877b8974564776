// Ending a program as a user closing it would: WM_CLOSE to each of its visible
// top-level windows, a few seconds for it to end, and only then TerminateProcess.
#include <windows.h>

#include <vector>

#include "driver.h"

namespace drv {
namespace {

struct Windows {
  DWORD pid;
  std::vector<HWND> found;
};

BOOL CALLBACK collect(HWND window, LPARAM param) {
  auto* w = reinterpret_cast<Windows*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == w->pid && IsWindowVisible(window)) w->found.push_back(window);
  return TRUE;
}

}  // namespace

void end_program(DWORD pid, DWORD ms) {
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
  if (process == nullptr) {
    out(L"endprogram gone");
    return;
  }
  Windows windows{pid, {}};
  EnumWindows(collect, reinterpret_cast<LPARAM>(&windows));
  for (HWND w : windows.found) PostMessageW(w, WM_CLOSE, 0, 0);
  if (!windows.found.empty() && WaitForSingleObject(process, ms) == WAIT_OBJECT_0) {
    out(L"endprogram closed");
  } else if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0) {
    out(L"endprogram gone");
  } else {
    TerminateProcess(process, 1);
    WaitForSingleObject(process, ms);
    out(windows.found.empty() ? L"endprogram terminated nowindow" : L"endprogram terminated");
  }
  CloseHandle(process);
}

}  // namespace drv
