// The processes the installer starts, counted by a job object it runs in from its
// first instruction: a job counts every process ever put in it, those that have ended
// too, and a process the installer creates is put in its job as it is created.
#include <windows.h>

#include "driver.h"

namespace drv {

HANDLE start_in_job(const std::wstring& path, std::wstring* command, PROCESS_INFORMATION* process) {
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  // Suspended until it is in the job, so that nothing it starts escapes the count.
  if (!CreateProcessW(path.c_str(), &(*command)[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                      nullptr, &si, process)) {
    throw Failure{L"cannot start " + path + L" (error " + std::to_wstring(GetLastError()) + L")"};
  }
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  if (job != nullptr && !AssignProcessToJobObject(job, process->hProcess)) {
    CloseHandle(job);
    job = nullptr;  // "children" then says it cannot count
  }
  ResumeThread(process->hThread);
  return job;
}

void count_children(const Session& session) {
  if (!session.process.hProcess) throw Failure{L"no process started"};
  if (session.job == nullptr) throw Failure{L"the process runs in no job here: its children cannot be counted"};
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info = {};
  if (!QueryInformationJobObject(session.job, JobObjectBasicAccountingInformation, &info, sizeof info, nullptr))
    throw Failure{L"the job cannot be read (error " + std::to_wstring(GetLastError()) + L")"};
  if (info.TotalProcesses == 0) throw Failure{L"the job never held the process"};
  out(L"children " + std::to_wstring(info.TotalProcesses - 1));
}

}  // namespace drv
