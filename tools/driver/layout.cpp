// The layout of the current dialog as the screen shows it: its styles and rectangles,
// every control's, the dialog base units of the installer's font, and the tab order.
#include <windows.h>

#include "driver.h"
#include "line_escape.h"

namespace drv {
namespace {

std::wstring hex(unsigned long v) {
  wchar_t buf[16];
  wsprintfW(buf, L"0x%08lX", v);
  return buf;
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

}  // namespace

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
  lines.push_back(std::wstring(buf) + L" caption=" + tv::escape_line(window_text(dialog)));
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
    lines.push_back(buf + tv::escape_line(window_text(c)));
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

}  // namespace drv
