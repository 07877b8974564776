// The window shown while a large package loads: "正在读取安装文件…" and a bar that
// follows the bytes inflated, with the program's own file description as caption.
#include <windows.h>
#include <commctrl.h>

#include "install/install.h"
#include "install/loading_due.h"
#include "package/container.h"
#include "base/version_text.h"
#include "platform/platform.h"
#include "resource.h"
#include "ui/dialogs.h"

namespace {

constexpr size_t kCaptionUnits = 260;

struct Loading {
  DWORD started;  // GetTickCount when loading began
  HWND window;    // null until it shows, and again once loading is over
  bool opened;    // the window was made (or tried): never a second one
  bool stopped;   // the user closed it
};
Loading g_loading;

// Escape, the close box and Alt+F4 all come as IDCANCEL: unpacking stops when this
// report returns, and the window goes with the report of its end.
INT_PTR CALLBACK loading_proc(HWND, UINT message, WPARAM wparam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message != WM_COMMAND || LOWORD(wparam) != IDCANCEL) return FALSE;
  g_loading.stopped = true;
  tv::stop_unpacking();
  return TRUE;
}

// The program's FileDescription from its own version resource (the product's, when
// the maker wrote one), read in place; without one the template's "安装" stays.
void show_file_description(HWND window) {
  const uint8_t* data = nullptr;
  size_t size = 0;
  wchar_t caption[kCaptionUnits];
  if (tv::own_resource(tv::OwnResource::kVersionInfo, &data, &size) &&
      tv::find_version_string(data, size, u"FileDescription", reinterpret_cast<char16_t*>(caption),
                              kCaptionUnits)) {
    SetWindowTextW(window, caption);
  }
}

void open_window() {
  g_loading.opened = true;
  HWND window = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_LOADING),
                                   nullptr, loading_proc, 0);
  if (window == nullptr) return;  // loading goes on without it
  show_file_description(window);
  show_program_icon(window);
  centre_dialog(window);
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  g_loading.window = window;
}

// The sink of loading: the window when it is due, then its bar and its messages at
// every servicing; gone when loading is over, before any message box or the install
// dialog.
void report_loading(void*, unsigned position) {
  if (position == tv::kProgressFull) {
    if (g_loading.window != nullptr) DestroyWindow(g_loading.window);
    g_loading.window = nullptr;
    return;
  }
  if (!g_loading.opened && tv::loading_window_due(GetTickCount() - g_loading.started, position)) open_window();
  // The bar repaints at once when it moves: it moves when the window is serviced.
  if (g_loading.window == nullptr || !servicing_due(false)) return;
  SendDlgItemMessageW(g_loading.window, IDC_PROGRESS, PBM_SETPOS, position, 0);
  service_messages(g_loading.window);
}

}  // namespace

int load_package_with_window(bool* stopped) {
  g_loading = Loading{GetTickCount(), nullptr, false, false};
  static_assert(tv::kProgressFull == 100, "the bar keeps its default range");
  tv::ProgressSink sink = {report_loading, nullptr};
  int loaded = tv::load_package(&sink);
  *stopped = g_loading.stopped;
  return loaded;
}
