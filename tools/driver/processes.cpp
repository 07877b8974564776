// The processes that run, with their image paths and command lines (what an
// installer started, for the report).
#include <windows.h>
#include <tlhelp32.h>

#include "driver.h"

namespace drv {
namespace {

// The command line from the process's own parameters block (its PEB), read across:
// Wine has no query that hands it over. A process of the driver's own kind only.
std::wstring command_line_of(HANDLE process) {
  using Query = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  static Query query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
  struct {
    LONG exit_status;
    void* peb;
    ULONG_PTR affinity, priority, pid, parent;
  } basic = {};
  ULONG got = 0;
  if (query == nullptr || query(process, 0, &basic, sizeof basic, &got) != 0 || basic.peb == nullptr) return L"";
  const size_t kParameters = 4 * sizeof(void*);               // PEB.ProcessParameters
  const size_t kCommandLine = sizeof(void*) == 8 ? 0x70 : 0x40;  // its CommandLine
  auto read = [&](const void* at, void* to, size_t n) {
    SIZE_T done = 0;
    return ReadProcessMemory(process, at, to, n, &done) && done == n;
  };
  const char* parameters = nullptr;
  if (!read(static_cast<const char*>(basic.peb) + kParameters, &parameters, sizeof parameters) || !parameters)
    return L"";
  struct {
    USHORT length, maximum;
    const wchar_t* text;
  } line = {};
  if (!read(parameters + kCommandLine, &line, sizeof line) || line.text == nullptr) return L"";
  std::wstring text(line.length / sizeof(wchar_t), L'\0');
  if (!text.empty() && !read(line.text, &text[0], text.size() * sizeof(wchar_t))) return L"";
  return text;
}

}  // namespace

std::vector<ProcessInfo> list_processes() {
  std::vector<ProcessInfo> out;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return out;
  PROCESSENTRY32W e = {};
  e.dwSize = sizeof(e);
  for (BOOL more = Process32FirstW(snap, &e); more; more = Process32NextW(snap, &e)) {
    ProcessInfo p;
    p.pid = e.th32ProcessID;
    p.parent = e.th32ParentProcessID;
    p.image = e.szExeFile;
    if (HANDLE h = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, p.pid)) {
      wchar_t path[MAX_PATH * 2];
      DWORD n = MAX_PATH * 2;
      if (QueryFullProcessImageNameW(h, 0, path, &n)) p.image.assign(path, n);
      p.command_line = command_line_of(h);
      CloseHandle(h);
    }
    out.push_back(p);
  }
  CloseHandle(snap);
  return out;
}

std::wstring describe_address_space(HANDLE process) {
  unsigned long long used = 0, committed = 0;
  MEMORY_BASIC_INFORMATION info;
  for (const char* at = nullptr; VirtualQueryEx(process, at, &info, sizeof info) == sizeof info;
       at = static_cast<const char*>(info.BaseAddress) + info.RegionSize) {
    if (info.State != MEM_FREE) used += info.RegionSize;
    if (info.State == MEM_COMMIT) committed += info.RegionSize;
  }
  return L"used=" + std::to_wstring(used) + L" committed=" + std::to_wstring(committed);
}

}  // namespace drv
