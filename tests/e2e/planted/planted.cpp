// A DLL planted beside the installer under the names of system DLLs: when it is
// loaded, it appends its own path to planted.log in its folder, and does nothing
// else (it exports nothing, so a program that imports from it finds nothing).
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return TRUE;
  char line[4 * MAX_PATH + 2];
  int len = WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(n), line, 4 * MAX_PATH,
                                nullptr, nullptr);
  line[len++] = '\r';
  line[len++] = '\n';
  wchar_t* name = path;
  for (wchar_t* p = path; *p; ++p) {
    if (*p == L'\\') name = p + 1;
  }
  if ((name - path) + 12 > MAX_PATH) return TRUE;
  lstrcpyW(name, L"planted.log");
  HANDLE log = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (log != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(log, line, static_cast<DWORD>(len), &written, nullptr);
    CloseHandle(log);
  }
  return TRUE;
}
