// Reading the current dialog and its controls: texts, classes, check states, the
// focus, and a message box's texts and buttons.
#include <windows.h>

#include <cwchar>

#include "driver.h"

namespace drv {

HWND current_dialog(const Session& session) {
  if (!session.dialog) throw Failure{L"no current dialog"};
  return session.dialog;
}

HWND control(const Session& session, int id) {
  if (!session.dialog || !IsWindow(session.dialog)) throw Failure{L"no current dialog"};
  HWND c = GetDlgItem(session.dialog, id);
  if (!c) throw Failure{L"no control " + std::to_wstring(id)};
  return c;
}

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

bool is_checked(HWND box) {
  DWORD_PTR r = 0;
  SendMessageTimeoutW(box, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 5000, &r);
  return r == BST_CHECKED;
}

int focused_control_id(HWND dialog) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info);
  return info.hwndFocus ? GetDlgCtrlID(info.hwndFocus) : 0;
}

void wait_for_focus(const Session& session, int id, DWORD ms) {
  HWND wanted = control(session, id);
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  DWORD thread = GetWindowThreadProcessId(session.dialog, nullptr);
  for (DWORD start = GetTickCount(); !GetGUIThreadInfo(thread, &info) || info.hwndFocus != wanted;) {
    if (GetTickCount() - start > ms) {
      throw Failure{L"the focus stayed on " + std::to_wstring(focused_control_id(session.dialog)) + L", not " +
                    std::to_wstring(id)};
    }
    Sleep(10);
  }
  out(L"focus " + std::to_wstring(id));
}

// The text is every visible static control's but the icon's; the buttons are listed
// as "ID,ID" in the box's order.
void describe_message(HWND box, std::wstring* caption, std::wstring* text, std::wstring* buttons) {
  text->clear();
  buttons->clear();
  for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    std::wstring cls = class_name(c);
    if (_wcsicmp(cls.c_str(), L"Static") == 0 &&
        (GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) != SS_ICON && IsWindowVisible(c)) {
      *text += window_text(c);
    } else if (_wcsicmp(cls.c_str(), L"Button") == 0 && IsWindowVisible(c)) {
      *buttons += (buttons->empty() ? L"" : L",") + std::to_wstring(GetDlgCtrlID(c));
    }
  }
  *caption = window_text(box);
}

}  // namespace drv
