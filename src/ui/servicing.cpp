// Handling the thread's waiting messages while the one GUI thread works (loading the
// package, writing the files), so that the window on screen paints and answers.
#include <windows.h>

#include "ui/dialogs.h"

// At most every 50 ms: often enough that every message is answered well within half
// a second, seldom enough to cost nothing (a bar repaints at once when it moves).
bool servicing_due(bool now) {
  static DWORD serviced_at = 0;
  DWORD t = GetTickCount();
  if (!now && t - serviced_at < 50) return false;
  serviced_at = t;
  return true;
}

// Keyboard messages go through dialog's keyboard interface (Escape, Tab).
void service_messages(HWND dialog) {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (!IsDialogMessageW(dialog, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}
