// Finding the installer's dialogs: which of the process's windows are dialogs, which
// dialog each one is, and waiting for one to appear.
#include <windows.h>

#include "driver.h"
#include "line_escape.h"

namespace drv {
namespace {

struct Collect {
  DWORD pid;
  std::vector<HWND>* out;
};

BOOL CALLBACK collect_dialog(HWND window, LPARAM param) {
  Collect* c = reinterpret_cast<Collect*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == c->pid && IsWindowVisible(window) && class_name(window) == L"#32770") {
    c->out->push_back(window);
  }
  return TRUE;
}

BOOL CALLBACK find_tree(HWND child, LPARAM param) {
  if (class_name(child) == L"SysTreeView32") {
    *reinterpret_cast<bool*>(param) = true;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

Kind kind_of(HWND window) {
  if (class_name(window) != L"#32770") return Kind::kNone;
  if (GetDlgItem(window, 1006) && GetDlgItem(window, 1001)) return Kind::kInstall;
  if (GetDlgItem(window, 1004) && GetDlgItem(window, 1005)) return Kind::kFinish;
  bool tree = false;
  EnumChildWindows(window, find_tree, reinterpret_cast<LPARAM>(&tree));
  if (tree) return Kind::kBrowse;
  if (GetDlgItem(window, 1008)) return Kind::kLoading;  // a bar, and no install button
  return Kind::kMessage;
}

const wchar_t* kind_name(Kind kind) {
  switch (kind) {
    case Kind::kInstall: return L"install";
    case Kind::kFinish: return L"finish";
    case Kind::kMessage: return L"message";
    case Kind::kBrowse: return L"browse";
    case Kind::kLoading: return L"loading";
    case Kind::kNone: break;
  }
  return L"none";
}

bool parse_kind(const std::wstring& name, Kind* kind) {
  for (Kind k : {Kind::kInstall, Kind::kFinish, Kind::kMessage, Kind::kBrowse, Kind::kLoading}) {
    if (name == kind_name(k)) {
      *kind = k;
      return true;
    }
  }
  return false;
}

std::vector<HWND> process_dialogs(DWORD pid) {
  std::vector<HWND> out;
  Collect c = {pid, &out};
  EnumWindows(collect_dialog, reinterpret_cast<LPARAM>(&c));
  return out;
}

void wait_for_dialog(Session& session, const std::wstring& what, DWORD ms) {
  Kind kind;
  if (!parse_kind(what, &kind)) throw Failure{L"unknown dialog kind " + what};
  DWORD start = GetTickCount();
  for (;;) {
    for (HWND w : process_dialogs(session.process.dwProcessId)) {
      if (kind_of(w) == kind) {
        sync(w);
        session.dialog = w;
        out(std::wstring(L"dialog ") + kind_name(kind) +
            L" caption=" + tv::escape_line(window_text(w)));
        return;
      }
    }
    if (WaitForSingleObject(session.process.hProcess, 0) == WAIT_OBJECT_0) {
      throw Failure{L"the process ended before a " + what + L" dialog appeared"};
    }
    if (GetTickCount() - start > ms) throw Failure{L"no " + what + L" dialog appeared"};
    Sleep(10);  // often enough for the benchmark's timings
  }
}

void sync(HWND window) {
  DWORD_PTR r;
  SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &r);
}

}  // namespace drv
