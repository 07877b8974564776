// The finish dialog: start the installed program and open its help document.
#include <windows.h>
#include <shellapi.h>

#include "resource.h"
#include "ui/dialogs.h"
#include "variables/expand.h"

namespace {

// The expansion of a variable token as window text, or null when the variable is
// unknown or its value is empty.
const wchar_t* expanded(const char16_t* token) {
  const char16_t* value = tv::expand_variables(token);
  if (value == nullptr || value[0] == 0) return nullptr;
  return reinterpret_cast<const wchar_t*>(value);
}

bool checked(HWND dialog, int id) {
  return SendDlgItemMessageW(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

INT_PTR open_finish_dialog(HWND dialog) {
  centre_dialog(dialog);
  show_program_icon(dialog);
  SendDlgItemMessageW(dialog, IDC_LAUNCH, BM_SETCHECK, BST_CHECKED, 0);
  SendDlgItemMessageW(dialog, IDC_OPEN_HELP, BM_SETCHECK, BST_CHECKED, 0);
  if (const wchar_t* tip = expanded(u"{FinishTip}")) SetDlgItemTextW(dialog, IDC_DESCRIPTION, tip);
  if (const wchar_t* tip = expanded(u"{LaunchTip}")) SetDlgItemTextW(dialog, IDC_LAUNCH, tip);
  return TRUE;
}

// The finish button: the program is started before the help document is opened.
// Failures are not reported.
void finish(HWND dialog) {
  if (checked(dialog, IDC_LAUNCH)) {
    if (const wchar_t* program = expanded(u"{Launch}")) launch_program(program);
  }
  if (checked(dialog, IDC_OPEN_HELP)) {
    if (const wchar_t* help = expanded(u"{Help}")) {
      ShellExecuteW(nullptr, L"open", help, nullptr, nullptr, SW_SHOW);
    }
  }
}

}  // namespace

// The file's default action; SEE_MASK_FLAG_NO_UI keeps the shell's own error box
// away. The process handle is not waited on, only closed.
void launch_program(const wchar_t* file) {
  static_assert(sizeof(void*) != 4 || sizeof(SHELLEXECUTEINFOW) == 60, "cbSize is 60 on 32-bit");
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  static_assert((SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI) == 0x440, "launch flags");
  info.lpFile = file;
  info.nShow = SW_SHOW;
  if (ShellExecuteExW(&info) && info.hProcess != nullptr) CloseHandle(info.hProcess);
}

INT_PTR CALLBACK finish_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  if (message == WM_INITDIALOG) return open_finish_dialog(dialog);
  if (message != WM_COMMAND) return FALSE;
  switch (LOWORD(wparam)) {
    case IDCANCEL:  // Escape or the close box: nothing is started
      EndDialog(dialog, 2);
      return TRUE;
    case IDOK:
      finish(dialog);
      EndDialog(dialog, 1);
      return TRUE;
    default:
      return FALSE;
  }
}
