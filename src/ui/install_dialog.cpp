// The install dialog: loading when it opens, browsing for a folder, and the install
// button, which hands the directory text to the install sequence.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include "actions/path_rules.h"
#include "actions/product_names.h"
#include "base/path_limit.h"
#include "install/install.h"
#include "platform/platform.h"
#include "resource.h"
#include "ui/dialogs.h"
#include "variables/section.h"
#include "variables/table.h"

namespace {

const wchar_t* wide(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }
char16_t* u16(wchar_t* s) { return reinterpret_cast<char16_t*>(s); }

// From the install button to the end of the install sequence: every command is
// ignored, so that Escape, the close box, Alt+F4 and the buttons neither end the
// dialog nor start anything while the dialog is serviced inside the sequence. The
// retry prompt's Cancel is the way out.
bool g_installing = false;

// The install sequence's progress sink; its context is the bar (looking it up again
// would cost a call to the system per report). It moves the bar (shown at the first
// report) and handles the dialog's waiting messages, so that the dialog paints and
// answers while the files are written; at the full bar always, so that it is
// painted before the dialog ends.
void show_progress(void* context, unsigned position) {
  HWND bar = static_cast<HWND>(context);
  if (!IsWindowVisible(bar)) ShowWindow(bar, SW_SHOWNA);
  SendMessageW(bar, PBM_SETPOS, position, 0);  // the bar's default range is 0..100
  if (servicing_due(position == tv::kProgressFull)) service_messages(GetParent(bar));
}

// WM_INITDIALOG. The owner window comes first: every message box of the loading
// chain is owned by this dialog.
INT_PTR open_install_dialog(HWND dialog) {
  tv::set_owner_window(dialog);
  centre_dialog(dialog);
  show_program_icon(dialog);
  bool stopped = false;
  if (!load_package_with_window(&stopped)) {
    // The user closed the loading window: the dialog ends before it shows.
    if (stopped) {
      EndDialog(dialog, 2);
      return FALSE;
    }
    // The failing step has shown its message; the posted cancel ends the dialog with 2.
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    return FALSE;
  }
  const char16_t* app = tv::variable_slot(u"{App}");
  if (app != nullptr && app[0] != 0) SetDlgItemTextW(dialog, IDC_DIRECTORY, wide(app));
  if (const char16_t* title = tv::title_value()) SetWindowTextW(dialog, wide(title));
  if (const char16_t* description = tv::description_value()) {
    SetDlgItemTextW(dialog, IDC_DESCRIPTION, wide(description));
  }
  return TRUE;
}

// The browse button: the chosen folder plus "\KESTA", or a backslash and the
// product's folder name; cancelling changes nothing.
void browse(HWND dialog) {
  // The folder browser fills MAX_PATH units: the one path limit.
  static_assert(tv::kMaxPath == MAX_PATH, "the browser's buffer is the path limit's");
  wchar_t path[tv::kMaxPath + tv::kFolderSuffixUnits];
  browse_for_install_folder(path);
  if (path[0] == 0) return;
  tv::strip_trailing_backslashes(u16(path));
  wchar_t suffix[tv::kFolderSuffixUnits];
  tv::browse_folder_suffix(u16(suffix));
  lstrcatW(path, suffix);  // fits: the browser's path is below kMaxPath units
  SetDlgItemTextW(dialog, IDC_DIRECTORY, path);
}

// The install button. It stays disabled from here to the end of the dialog, unless
// the folder was refused, is too long for the package or its drive short of space
// (and the user chose not to go on), or the old installation could not be moved
// aside (nothing was moved or written then; the folder stays in the edit box).
INT_PTR install(HWND dialog) {
  HWND button = GetDlgItem(dialog, IDC_INSTALL);
  EnableWindow(button, FALSE);
  // One unit more than the longest path: a longer text arrives longer than a path
  // (and is refused as too long), never cut to one.
  wchar_t path[tv::kMaxPath + 1] = {};
  if (HWND edit = GetDlgItem(dialog, IDC_DIRECTORY)) GetWindowTextW(edit, path, tv::kMaxPath + 1);
  static_assert(tv::kProgressFull == 100, "the bar keeps its default range");
  tv::ProgressSink sink = {show_progress, GetDlgItem(dialog, IDC_PROGRESS)};
  g_installing = true;
  tv::InstallOutcome outcome = tv::run_install_sequence(u16(path), &sink);
  g_installing = false;
  switch (outcome) {
    case tv::InstallOutcome::kInstalled:
      EndDialog(dialog, 1);
      return TRUE;
    case tv::InstallOutcome::kOldVersionHeld:
    case tv::InstallOutcome::kFolderTooLong:
    case tv::InstallOutcome::kFolderRefused:
    case tv::InstallOutcome::kSpaceDeclined:
      EnableWindow(button, TRUE);
      return TRUE;
    case tv::InstallOutcome::kFailed:
      break;
  }
  PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  return FALSE;
}

}  // namespace

// The same placement for both dialogs: the window rectangle (in the parent's client
// coordinates if there is a parent, which there never is here) moved to the middle
// of the screen with integer division, size kept.
void centre_dialog(HWND dialog) {
  RECT r = {};
  if (GetWindowRect(dialog, &r)) {
    if (HWND parent = GetParent(dialog)) {
      ScreenToClient(parent, reinterpret_cast<POINT*>(&r.left));
      ScreenToClient(parent, reinterpret_cast<POINT*>(&r.right));
    }
  }
  int x = (GetSystemMetrics(SM_CXSCREEN) + r.left - r.right) / 2;
  int y = (GetSystemMetrics(SM_CYSCREEN) + r.top - r.bottom) / 2;
  SetWindowPos(dialog, HWND_TOP, x, y, 0, 0, SWP_NOSIZE);
}

namespace {

// The first icon group of the program's resources, at the system's big and small icon
// sizes. The maker writes the product's icon as the group with the lowest id, which is
// also the first one listed (the one Explorer shows for the file); the stub itself
// carries none. The callback loads inside the enumeration, so a group named by a
// string is found as well; it stops after the first group. The icons last as long as
// the process.
BOOL CALLBACK set_icons_from_group(HMODULE module, LPCWSTR, LPWSTR group, LONG_PTR dialog) {
  static const int kSizes[2][2] = {{ICON_BIG, SM_CXICON}, {ICON_SMALL, SM_CXSMICON}};
  for (const auto& size : kSizes) {
    int side = GetSystemMetrics(size[1]);
    if (HANDLE icon = LoadImageW(module, group, IMAGE_ICON, side, side, 0)) {
      SendMessageW(reinterpret_cast<HWND>(dialog), WM_SETICON, size[0],
                   reinterpret_cast<LPARAM>(icon));
    }
  }
  return FALSE;
}

}  // namespace

// Without an icon group nothing is sent, and the dialog keeps the system's default.
void show_program_icon(HWND dialog) {
  EnumResourceNamesW(nullptr, RT_GROUP_ICON, set_icons_from_group,
                     reinterpret_cast<LONG_PTR>(dialog));
}

void browse_for_install_folder(wchar_t* path) {
  path[0] = 0;
  BROWSEINFOW info = {};
  info.lpszTitle = L"选择安装目录";
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
  static_assert((BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN | BIF_EDITBOX |
                 BIF_NEWDIALOGSTYLE) == 0x53, "browse flags");
  LPITEMIDLIST list = SHBrowseForFolderW(&info);
  if (list == nullptr) return;
  if (!SHGetPathFromIDListW(list, path)) path[0] = 0;
  CoTaskMemFree(list);
}

INT_PTR CALLBACK install_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  if (message == WM_INITDIALOG) return open_install_dialog(dialog);
  if (message != WM_COMMAND) return FALSE;
  if (g_installing) return TRUE;
  switch (LOWORD(wparam)) {
    case IDCANCEL:
      EndDialog(dialog, 2);
      return TRUE;
    case IDC_BROWSE:
      browse(dialog);
      return TRUE;
    case IDC_INSTALL:
      return install(dialog);
    default:
      return FALSE;  // IDOK (Enter) among them: there is no default button
  }
}
