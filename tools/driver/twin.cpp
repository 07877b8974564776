// The current dialog's twin: the installer's own dialog template, made again, hidden,
// in the driver's process. A font belongs to the process that made it, so the font a
// control of the installer draws with can only be measured on a twin made the same
// way, at the same DPI.
#include <windows.h>
#include <commctrl.h>

#include <cwchar>
#include <vector>

#include "driver.h"

namespace drv {
namespace {

// Whether two dialogs hold the same controls: ids and classes, in order.
bool same_controls(HWND a, HWND b) {
  HWND x = GetWindow(a, GW_CHILD), y = GetWindow(b, GW_CHILD);
  for (; x && y; x = GetWindow(x, GW_HWNDNEXT), y = GetWindow(y, GW_HWNDNEXT)) {
    if (GetDlgCtrlID(x) != GetDlgCtrlID(y)) return false;
    if (_wcsicmp(class_name(x).c_str(), class_name(y).c_str()) != 0) return false;
  }
  return !x && !y;
}

// A hidden dialog from a copy of a template (DLGTEMPLATE or DLGTEMPLATEEX) whose
// WS_VISIBLE is cleared, so that it never shows on the screen. A template holds a few
// controls: one of a megabyte or more is not a dialog of the installer.
HWND create_hidden(const void* data, DWORD size) {
  if (size < 16 || size >= (1u << 20)) return nullptr;
  std::vector<DWORD> copy((size + 3) / 4);
  memcpy(copy.data(), data, size);
  const WORD* words = reinterpret_cast<const WORD*>(copy.data());
  DWORD* style = words[1] == 0xFFFF ? &copy[3] : &copy[0];
  *style &= ~static_cast<DWORD>(WS_VISIBLE);
  return CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                    reinterpret_cast<LPCDLGTEMPLATEW>(copy.data()), nullptr,
                                    nullptr, 0);
}

struct Search {
  HWND running;
  HWND found;
};

BOOL CALLBACK try_template(HMODULE image, LPCWSTR type, LPWSTR name, LONG_PTR param) {
  Search* search = reinterpret_cast<Search*>(param);
  HRSRC res = FindResourceW(image, name, type);
  HGLOBAL loaded = res ? LoadResource(image, res) : nullptr;
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) return TRUE;
  HWND twin = create_hidden(data, SizeofResource(image, res));
  if (twin && same_controls(twin, search->running)) {
    search->found = twin;
    return FALSE;
  }
  if (twin) DestroyWindow(twin);
  return TRUE;
}

}  // namespace

Twin::Twin(const Session& session) {
  INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES};
  InitCommonControlsEx(&icc);  // the templates' progress bar
  if (session.image.empty()) throw Failure{L"no process started"};
  image_ = LoadLibraryExW(session.image.c_str(), nullptr,
                          LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!image_) throw Failure{L"cannot read the dialogs of " + session.image};
  Search search = {session.dialog, nullptr};
  EnumResourceNamesW(image_, RT_DIALOG, try_template, reinterpret_cast<LONG_PTR>(&search));
  dialog_ = search.found;
  if (!dialog_) {
    FreeLibrary(image_);
    throw Failure{L"the current dialog is none of the installer's dialog templates"};
  }
}

Twin::~Twin() {
  DestroyWindow(dialog_);
  FreeLibrary(image_);
}

}  // namespace drv
