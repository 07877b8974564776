// A marker program for the end-to-end tests: when started it appends one line to
// markers.log in its own folder: its file name, its process creation time (100 ns
// units; it orders programs by when they were started, not when they got to run)
// and its command line.
#include <windows.h>

#include <cstdio>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return 1;
  wchar_t* name = path;
  for (wchar_t* p = path; *p; ++p) {
    if (*p == L'\\') name = p + 1;
  }
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  unsigned long long t = (static_cast<unsigned long long>(created.dwHighDateTime) << 32) |
                         created.dwLowDateTime;
  wchar_t line[1024];
  int len = _snwprintf(line, 1023, L"%ls %llu %ls\r\n", name, t, GetCommandLineW());
  if (len < 0) len = 1023;
  line[1023] = 0;
  char utf8[4096];
  int bytes = WideCharToMultiByte(CP_UTF8, 0, line, len, utf8, sizeof utf8, nullptr, nullptr);

  if ((name - path) + 12 > MAX_PATH) return 1;
  lstrcpyW(name, L"markers.log");
  // No sharing while writing: two markers started together append one after another.
  for (int attempt = 0; attempt < 200; ++attempt) {
    HANDLE log = CreateFileW(path, FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      BOOL ok = WriteFile(log, utf8, static_cast<DWORD>(bytes), &written, nullptr);
      ok = CloseHandle(log) && ok && written == static_cast<DWORD>(bytes);
      return ok ? 0 : 1;
    }
    Sleep(25);
  }
  return 1;
}
