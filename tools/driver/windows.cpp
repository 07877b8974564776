// Finding and reading the installer's windows.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include "driver.h"

namespace drv {
namespace {

struct Collect {
  DWORD pid;
  std::vector<HWND>* out;
};

BOOL CALLBACK collect_dialog(HWND window, LPARAM param) {
  Collect* c = reinterpret_cast<Collect*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == c->pid && IsWindowVisible(window) && class_name(window) == L"#32770") {
    c->out->push_back(window);
  }
  return TRUE;
}

BOOL CALLBACK find_tree(HWND child, LPARAM param) {
  if (class_name(child) == L"SysTreeView32") {
    *reinterpret_cast<bool*>(param) = true;
    return FALSE;
  }
  return TRUE;
}

std::wstring hex(unsigned long v) {
  wchar_t buf[16];
  wsprintfW(buf, L"0x%08lX", v);
  return buf;
}

}  // namespace

// WM_GETTEXT, not GetWindowText: for a window of another process GetWindowText
// gives only the title the window was created with, not an edit box's contents.
std::wstring window_text(HWND window) {
  DWORD_PTR n = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &n)) return L"";
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  DWORD_PTR got = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, n + 1, reinterpret_cast<LPARAM>(&text[0]),
                      SMTO_ABORTIFHUNG, 5000, &got);
  text.resize(static_cast<size_t>(got));
  return text;
}

std::wstring class_name(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

Kind kind_of(HWND window) {
  if (class_name(window) != L"#32770") return Kind::kNone;
  if (GetDlgItem(window, 1006) && GetDlgItem(window, 1001)) return Kind::kInstall;
  if (GetDlgItem(window, 1004) && GetDlgItem(window, 1005)) return Kind::kFinish;
  bool tree = false;
  EnumChildWindows(window, find_tree, reinterpret_cast<LPARAM>(&tree));
  if (tree) return Kind::kBrowse;
  if (GetDlgItem(window, 1008)) return Kind::kLoading;  // a bar, and no install button
  return Kind::kMessage;
}

const wchar_t* kind_name(Kind kind) {
  switch (kind) {
    case Kind::kInstall: return L"install";
    case Kind::kFinish: return L"finish";
    case Kind::kMessage: return L"message";
    case Kind::kBrowse: return L"browse";
    case Kind::kLoading: return L"loading";
    case Kind::kNone: break;
  }
  return L"none";
}

bool parse_kind(const std::wstring& name, Kind* kind) {
  for (Kind k : {Kind::kInstall, Kind::kFinish, Kind::kMessage, Kind::kBrowse, Kind::kLoading}) {
    if (name == kind_name(k)) {
      *kind = k;
      return true;
    }
  }
  return false;
}

std::vector<HWND> process_dialogs(DWORD pid) {
  std::vector<HWND> out;
  Collect c = {pid, &out};
  EnumWindows(collect_dialog, reinterpret_cast<LPARAM>(&c));
  return out;
}

// The dialog base units of a dialog with the installer's font ("MS Shell Dlg",
// 9 point, DS_SHELLFONT), measured on a hidden dialog of our own: MapDialogRect
// does not reach into another process's dialog.
void reference_base_units(int* x, int* y) {
  alignas(4) unsigned char tmpl[128] = {};
  WORD* w = reinterpret_cast<WORD*>(tmpl);
  *w++ = 1;                   // dlgVer
  *w++ = 0xFFFF;              // signature: DLGTEMPLATEEX
  w += 2;                     // helpID
  w += 2;                     // exStyle
  DWORD style = WS_POPUP | DS_SETFONT | DS_FIXEDSYS | DS_MODALFRAME;
  *w++ = LOWORD(style);
  *w++ = HIWORD(style);
  *w++ = 0;                   // no controls
  w += 4;                     // x, y, cx, cy
  *w++ = 0;                   // no menu
  *w++ = 0;                   // default class
  *w++ = 0;                   // no title
  *w++ = 9;                   // point size
  *w++ = 400;                 // weight
  *w++ = 0x0100;              // italic 0, charset 1
  for (const wchar_t* f = L"MS Shell Dlg"; *f; ++f) *w++ = *f;
  *w++ = 0;
  HWND probe = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                          reinterpret_cast<LPCDLGTEMPLATEW>(tmpl), nullptr,
                                          nullptr, 0);
  RECT r = {0, 0, 4000, 8000};
  if (probe) {
    MapDialogRect(probe, &r);
    DestroyWindow(probe);
  }
  *x = r.right / 1000;
  *y = r.bottom / 1000;
}

std::vector<std::wstring> describe_layout(HWND dialog) {
  std::vector<std::wstring> lines;
  int bx = 0, by = 0;
  reference_base_units(&bx, &by);
  RECT wr, cr;
  GetWindowRect(dialog, &wr);
  GetClientRect(dialog, &cr);
  wchar_t buf[256];
  wsprintfW(buf, L"dialog style=%s exstyle=%s window=%ld,%ld,%ld,%ld client=%ld,%ld",
            hex(GetWindowLongW(dialog, GWL_STYLE)).c_str(),
            hex(GetWindowLongW(dialog, GWL_EXSTYLE)).c_str(), wr.left, wr.top,
            wr.right - wr.left, wr.bottom - wr.top, cr.right, cr.bottom);
  lines.push_back(std::wstring(buf) + L" caption=" + escape(window_text(dialog)));
  wsprintfW(buf, L"screen %d,%d base=%d,%d", GetSystemMetrics(SM_CXSCREEN),
            GetSystemMetrics(SM_CYSCREEN), bx, by);
  lines.push_back(buf);
  for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    RECT r;
    GetWindowRect(c, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    int id = static_cast<short>(GetDlgCtrlID(c));
    wsprintfW(buf, L"control id=%d class=%s style=%s exstyle=%s px=%ld,%ld,%ld,%ld text=", id,
              class_name(c).c_str(), hex(GetWindowLongW(c, GWL_STYLE)).c_str(),
              hex(GetWindowLongW(c, GWL_EXSTYLE)).c_str(), r.left, r.top, r.right, r.bottom);
    lines.push_back(buf + escape(window_text(c)));
  }
  // Tab order from the first control with a tab stop.
  std::wstring order = L"taborder";
  HWND first = GetNextDlgTabItem(dialog, nullptr, FALSE);
  for (HWND c = first; c;) {
    order += L" " + std::to_wstring(static_cast<short>(GetDlgCtrlID(c)));
    c = GetNextDlgTabItem(dialog, c, FALSE);
    if (c == first) break;
  }
  lines.push_back(order);
  return lines;
}

bool type_text(HWND edit, const std::wstring& text) {
  DWORD_PTR r;
  auto send = [&](UINT msg, WPARAM w, LPARAM l) {
    return SendMessageTimeoutW(edit, msg, w, l, SMTO_ABORTIFHUNG, 5000, &r) != 0;
  };
  if (!send(EM_SETSEL, 0, -1) || !send(WM_CHAR, VK_BACK, 0)) return false;
  for (wchar_t ch : text) {
    if (!send(WM_CHAR, ch, 0)) return false;
  }
  return true;
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
      lines.push_back(std::wstring(name) + L"=" + escape(std::wstring(value, wcsnlen(value, n))));
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

std::wstring from_utf8(const std::string& s) {
  if (s.empty()) return L"";
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &out[0], n);
  return out;
}

std::string to_utf8(const std::wstring& s) {
  if (s.empty()) return "";
  int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &out[0], n, nullptr,
                      nullptr);
  return out;
}

std::wstring escape(const std::wstring& s) {
  std::wstring out;
  for (wchar_t c : s) {
    if (c == L'\\') out += L"\\\\";
    else if (c == L'\n') out += L"\\n";
    else if (c == L'\r') out += L"\\r";
    else out += c;
  }
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
