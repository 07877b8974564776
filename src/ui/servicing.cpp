// Handling the thread's waiting messages while the one GUI thread works (loading the
// package, writing the files), so that the window on screen paints and answers.
#include <windows.h>

#include "ui/dialogs.h"

// At most every 50 ms unless now: often enough that every message is answered well
// within half a second, seldom enough to cost nothing. Keyboard messages go through
// dialog's keyboard interface (Escape, Tab).
void service_messages(HWND dialog, bool now) {
  static DWORD serviced_at = 0;
  DWORD t = GetTickCount();
  if (!now && t - serviced_at < 50) return;
  serviced_at = t;
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (!IsDialogMessageW(dialog, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}
