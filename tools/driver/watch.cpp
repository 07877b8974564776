// Watching a busy dialog: whether it answers its progress bar, and how soon.
#include <windows.h>
#include <commctrl.h>

#include "driver.h"

namespace drv {

// A message is always waiting for the dialog, so that it is answered at whichever
// moment the dialog handles its messages (the last moment included). Prints "watch
// pos=P ms=T" for each answer, until "watch ended" (the dialog hid or went) or "watch
// hung ms=T". With leave, Escape and the close box are sent once, as soon as the bar
// is between empty and full.
void watch_progress(Session& session, HWND bar, UINT timeout_ms, bool leave) {
  LARGE_INTEGER freq, t0, t1;
  QueryPerformanceFrequency(&freq);
  for (;;) {
    DWORD_PTR pos = 0;
    QueryPerformanceCounter(&t0);
    bool answered =
        SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_NORMAL, timeout_ms, &pos) != 0;
    QueryPerformanceCounter(&t1);
    std::wstring took = std::to_wstring((t1.QuadPart - t0.QuadPart) * 1000 / freq.QuadPart);
    // An answer counts even when the dialog ended right after giving it (the last one).
    if (answered) out(L"watch pos=" + std::to_wstring(pos) + L" ms=" + took);
    if (!IsWindow(session.dialog) || !IsWindowVisible(session.dialog)) {
      out(L"watch ended");
      return;
    }
    if (!answered) {
      out(L"watch hung ms=" + took);
      return;
    }
    if (leave && pos > 0 && pos < 100) {
      press_key(session, L"escape");
      PostMessageW(session.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
      out(L"watch sent escape and close");
      leave = false;
    }
  }
}

}  // namespace drv
