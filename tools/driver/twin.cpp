// The current dialog's twin: the installer's own dialog template, made again, hidden,
// in the driver's process. A font belongs to the process that made it, so the font a
// control of the installer draws with can only be measured on a twin made the same
// way, at the same DPI. The templates are read from the installer's headers and resource
// section alone (tools/dialog_templates), never by mapping the whole file.
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <cwchar>
#include <vector>

#include "dialog_templates.h"
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
// controls: a larger one than the reader takes is not a dialog of the installer.
HWND create_hidden(const void* data, DWORD size) {
  if (size < 16 || size > tvdlg::kMaxTemplate) return nullptr;
  std::vector<DWORD> copy((size + 3) / 4);
  memcpy(copy.data(), data, size);
  const WORD* words = reinterpret_cast<const WORD*>(copy.data());
  DWORD* style = words[1] == 0xFFFF ? &copy[3] : &copy[0];
  *style &= ~static_cast<DWORD>(WS_VISIBLE);
  return CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                    reinterpret_cast<LPCDLGTEMPLATEW>(copy.data()), nullptr,
                                    nullptr, 0);
}

// The installer's file, read a piece at a time (it can be larger than a 32-bit
// process can map): the dialog templates come from its headers and resource section.
class InstallerFile {
 public:
  explicit InstallerFile(const std::wstring& path)
      : file_(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~InstallerFile() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  }
  InstallerFile(const InstallerFile&) = delete;
  InstallerFile& operator=(const InstallerFile&) = delete;

  bool size(uint64_t* out) const {
    LARGE_INTEGER n;
    if (file_ == INVALID_HANDLE_VALUE || !GetFileSizeEx(file_, &n)) return false;
    *out = uint64_t(n.QuadPart);
    return true;
  }
  bool read_at(uint64_t offset, uint32_t size, uint8_t* out) const {
    LARGE_INTEGER at;
    at.QuadPart = LONGLONG(offset);
    if (!SetFilePointerEx(file_, at, nullptr, FILE_BEGIN)) return false;
    while (size > 0) {
      DWORD got = 0;
      if (!ReadFile(file_, out, size, &got, nullptr) || got == 0) return false;
      out += got;
      size -= got;
    }
    return true;
  }

 private:
  HANDLE file_;
};

}  // namespace

Twin::Twin(const Session& session) {
  INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES};
  InitCommonControlsEx(&icc);  // the templates' progress bar
  if (session.image.empty()) throw Failure{L"no process started"};
  InstallerFile file(session.image);
  uint64_t size = 0;
  std::vector<std::vector<uint8_t>> templates;
  if (!file.size(&size) ||
      tvdlg::read_dialog_templates(size, [&file](uint64_t at, uint32_t n, uint8_t* out) { return file.read_at(at, n, out); },
                                   &templates) != tvdlg::Read::kOk)
    throw Failure{L"cannot read the dialogs of " + session.image};
  for (const std::vector<uint8_t>& t : templates) {
    HWND twin = create_hidden(t.data(), DWORD(t.size()));
    if (twin && same_controls(twin, session.dialog)) {
      dialog_ = twin;
      return;
    }
    if (twin) DestroyWindow(twin);
  }
  throw Failure{L"the current dialog is none of the installer's dialog templates"};
}

Twin::~Twin() { DestroyWindow(dialog_); }

}  // namespace drv
