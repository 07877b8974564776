// What Windows tells of files and folders (version information, icons, shortcuts,
// the shell's folders), and holding a file open as another program would.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cwchar>

#include "driver.h"
#include "line_escape.h"

namespace drv {

std::vector<std::wstring> describe_version(const std::wstring& path) {
  DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
  std::vector<BYTE> info(size ? size : 1);
  if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, info.data())) return {};
  auto dotted = [](DWORD high, DWORD low) {
    return std::to_wstring(HIWORD(high)) + L"." + std::to_wstring(LOWORD(high)) + L"." +
           std::to_wstring(HIWORD(low)) + L"." + std::to_wstring(LOWORD(low));
  };
  std::vector<std::wstring> lines;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT n = 0;
  if (VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &n) &&
      n >= sizeof *fixed)
    lines.push_back(L"fixed file=" + dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS) +
                    L" product=" + dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS));
  WORD* translation = nullptr;
  if (!VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                     reinterpret_cast<void**>(&translation), &n) || n < 4)
    return lines;
  wchar_t block[48];
  wsprintfW(block, L"\\StringFileInfo\\%04X%04X\\", translation[0], translation[1]);
  for (const wchar_t* name : {L"ProductName", L"ProductVersion", L"FileVersion", L"CompanyName",
                              L"LegalCopyright", L"FileDescription", L"OriginalFilename"}) {
    wchar_t* value = nullptr;
    std::wstring key = block + std::wstring(name);
    if (VerQueryValueW(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &n))
      lines.push_back(std::wstring(name) + L"=" +
                      tv::escape_line(std::wstring(value, wcsnlen(value, n))));
  }
  return lines;
}

std::wstring describe_file_icons(const std::wstring& path) {
  auto size_of = [](HICON icon) {
    ICONINFO info = {};
    BITMAP bitmap = {};
    if (!icon || !GetIconInfo(icon, &info)) return std::wstring(L"0x0");
    GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    LONG height = info.hbmColor ? bitmap.bmHeight : bitmap.bmHeight / 2;
    if (info.hbmColor) DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
    return std::to_wstring(bitmap.bmWidth) + L"x" + std::to_wstring(height);
  };
  UINT count = ExtractIconExW(path.c_str(), -1, nullptr, nullptr, 0);
  HICON big = nullptr, small = nullptr;
  if (count > 0) ExtractIconExW(path.c_str(), 0, &big, &small, 1);
  return L"count=" + std::to_wstring(count) + L" big=" + size_of(big) + L" small=" + size_of(small);
}

bool read_shortcut(const std::wstring& path, std::wstring* target, std::wstring* args, int* show) {
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link))))
    return false;
  IPersistFile* file = nullptr;
  bool ok = false;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    if (SUCCEEDED(file->Load(path.c_str(), STGM_READ))) {
      wchar_t buf[MAX_PATH] = {};
      ok = SUCCEEDED(link->GetPath(buf, MAX_PATH, nullptr, SLGP_RAWPATH));
      *target = buf;
      buf[0] = 0;
      link->GetArguments(buf, MAX_PATH);
      *args = buf;
      link->GetShowCmd(show);
    }
    file->Release();
  }
  link->Release();
  return ok;
}

bool shell_folder(int csidl, std::wstring* path) {
  wchar_t buf[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buf))) return false;
  *path = buf;
  return true;
}

void lock_path(Session& session, const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    throw Failure{L"cannot lock " + path + L" (error " + std::to_wstring(GetLastError()) + L")"};
  }
  session.locks[path] = h;
}

void unlock_path(Session& session, const std::wstring& path) {
  auto it = session.locks.find(path);
  if (it == session.locks.end()) throw Failure{L"not locked: " + path};
  CloseHandle(it->second);
  session.locks.erase(it);
}

}  // namespace drv
