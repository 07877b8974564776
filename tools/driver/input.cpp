// Acting on the current dialog as a user does: typing, clicking, ticking a box and
// pressing keys.
#include <windows.h>

#include "driver.h"

namespace drv {

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

void click(const Session& session, int id) {
  HWND b = control(session, id);
  if (!IsWindowVisible(b)) throw Failure{L"control " + std::to_wstring(id) + L" is hidden"};
  if (!IsWindowEnabled(b)) throw Failure{L"control " + std::to_wstring(id) + L" is disabled"};
  // Posted: the click may open a modal box, which must not block the driver.
  PostMessageW(b, BM_CLICK, 0, 0);
}

void set_check(const Session& session, int id, bool wanted) {
  HWND box = control(session, id);
  if (is_checked(box) == wanted) return;
  click(session, id);
  // The click is posted, and sent messages overtake posted ones: poll.
  DWORD start = GetTickCount();
  while (is_checked(box) != wanted) {
    if (GetTickCount() - start > 5000) throw Failure{L"the box did not change"};
    Sleep(20);
  }
}

void press_key(const Session& session, const std::wstring& name) {
  static const struct {
    const wchar_t* name;
    UINT vk;
  } keys[] = {{L"escape", VK_ESCAPE}, {L"enter", VK_RETURN}, {L"tab", VK_TAB},
              {L"space", VK_SPACE},   {L"up", VK_UP},         {L"down", VK_DOWN},
              {L"left", VK_LEFT},     {L"right", VK_RIGHT},   {L"home", VK_HOME},
              {L"end", VK_END}};
  UINT vk = 0;
  for (const auto& k : keys) {
    if (name == k.name) vk = k.vk;
  }
  if (!vk) throw Failure{L"unknown key " + name};
  HWND target = current_dialog(session);
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  if (GetGUIThreadInfo(GetWindowThreadProcessId(target, nullptr), &info) && info.hwndFocus) {
    target = info.hwndFocus;
  }
  PostMessageW(target, WM_KEYDOWN, vk, 1);
  PostMessageW(target, WM_KEYUP, vk, 0xC0000001);
}

}  // namespace drv
