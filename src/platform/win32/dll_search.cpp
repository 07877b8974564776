#include "platform/win32/dll_search.h"

#include <windows.h>

namespace tv {
namespace {

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

// DLLs that are not known DLLs (so a copy beside the program would be taken first)
// and that the system's DLLs load on their own: during start-up, the dialogs, the
// folder browser, the shell links and the shell's launching. Loading each from the
// system folder now makes every later load by name find it already loaded.
const wchar_t* const kPreloaded[] = {
    L"version.dll",   // shell32 and comctl32: file version queries
    L"uxtheme.dll",   // user32 and comctl32 6: themed controls and frames
    L"dwmapi.dll",    // uxtheme and user32: the desktop compositor
    L"msimg32.dll",   // uxtheme and comctl32: alpha blending
    L"oleacc.dll",    // comctl32 and user32: accessibility of the controls
    L"propsys.dll",   // shell32: the folder browser's item properties
    L"cryptbase.dll", // advapi32: system cryptography at start-up
    L"userenv.dll",   // shell32: special folders of the user's profile
    L"profapi.dll",   // userenv: the profile folders
    L"ntmarta.dll",   // advapi32: access checks on files and folders
    L"sspicli.dll",   // advapi32: security packages, through the shell
    L"wintypes.dll",  // combase: Windows Runtime types, through the shell
    L"textshaping.dll",  // comctl32 6 on Windows 11: the edit box's text layout
    L"winsta.dll",    // shell32: the session of the started program
    L"cscapi.dll",    // shell32: offline files, when a folder is browsed
    L"linkinfo.dll",  // shell32: the shell links' volume information
    L"ntshrui.dll",   // shell32: shared folders in the folder browser
    L"srvcli.dll",    // ntshrui: the server service
    L"edputil.dll",   // shell32: enterprise data protection of new files
    L"windows.storage.dll",  // shell32: the shell's file system items
    L"iertutil.dll",  // windows.storage and urlmon: URL handling when launching
    L"apphelp.dll",   // kernel32: compatibility checks when a program is started
};

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);

}  // namespace

// SetDefaultDllDirectories (Windows 8, and 7 and Vista with their update) restricts
// every load by name of the process, the system DLLs' own included. Without it the
// program's folder is still searched for a name that is not loaded yet; so the DLLs
// above are loaded by their full system path, whatever Windows this is. The empty
// SetDllDirectory takes the current folder out of the search.
void harden_dll_search() {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  auto set_default = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (set_default != nullptr) set_default(LOAD_LIBRARY_SEARCH_SYSTEM32);
  SetDllDirectoryW(L"");

  wchar_t path[MAX_PATH];
  UINT n = GetSystemDirectoryW(path, MAX_PATH);
  if (n == 0 || n > MAX_PATH - 24) return;  // no system folder that a name fits after
  path[n++] = L'\\';
  for (const wchar_t* name : kPreloaded) {
    lstrcpynW(path + n, name, int(MAX_PATH - n));  // n <= MAX_PATH - 23
    // A DLL missing from this Windows is simply not there to be planted over.
    LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  }
}

}  // namespace tv
