// talvenor-ui-driver: drives an installer's dialogs, for `talvenor-pack try` and the
// end-to-end tests.
//
//   talvenor-ui-driver                  commands from standard input, one a line
//   talvenor-ui-driver -f SCRIPT        commands from a UTF-8 file
//   talvenor-ui-driver CMD ARGS ; CMD   commands on the command line, split at ";"
//
// Every command prints its results and then "ok" or "error: ...". From a file or
// the command line the first error ends the run with exit code 1. Commands:
//   start PATH            start an installer (the process all other commands watch)
//   wait KIND [SECONDS]   wait for its install|finish|message|browse|loading dialog; it becomes
//                         the current dialog. "wait exit" waits for the process to end.
//   caption | text ID | enabled ID | checked ID | focus     read the current dialog
//   layout                its style, controls, dialog-unit rectangles and tab order
//   version PATH | icons PATH   a file's version information and icons, as Windows reads them
//   message               a message box's caption, text and buttons
//   type ID TEXT          type TEXT (rest of the line, may be empty) into an edit
//   click ID              press a button (refused when it is disabled or hidden)
//   check ID 0|1          set a check box by clicking it when needed
//   key NAME              press escape, enter, tab, space, up, down, left, right, home
//                         or end in the dialog's focused control
//   command ID            send WM_COMMAND with ID to the dialog
//   close                 the close box (WM_SYSCOMMAND SC_CLOSE)
//   watch ID MS [leave]   while the dialog works: send its progress bar ID PBM_GETPOS
//                         with a timeout of MS, again as soon as it answers, and print
//                         "watch pos=P ms=T" (T: how long it took to answer) each time,
//                         until "watch ended" (the dialog hid or went) or "watch hung
//                         ms=T". With leave, Escape and the close box are sent once the
//                         bar is between empty and full ("watch sent escape and close").
//   dialogs               list the process's visible dialogs
//   lock PATH | unlock PATH   hold a file or directory open with no sharing
//   shortcut PATH         target, arguments and show command of a .lnk file
//   folder CSIDL          the path of a shell folder, as the installer's shell gives it
//   shot PATH             the current dialog's window (the whole screen when there is
//                         none) as a PNG file: "shot width=W height=H"
//   processes             every process: "process pid=P parent=Q image=PATH cmdline=TEXT"
//   memory                the started process's address space: "memory used=B committed=B"
//   sleep MS | kill
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <commctrl.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "driver.h"

namespace {

using drv::Kind;

struct State {
  PROCESS_INFORMATION process = {};
  HWND dialog = nullptr;
  std::map<std::wstring, HANDLE> locks;
};

void out(const std::wstring& line) {
  std::string s = drv::to_utf8(line) + "\n";
  fwrite(s.data(), 1, s.size(), stdout);
  fflush(stdout);
}

struct Failure {
  std::wstring why;
};

// First word, and the rest of the line after one space.
void split(const std::wstring& line, std::wstring* word, std::wstring* rest) {
  size_t sp = line.find(L' ');
  *word = line.substr(0, sp);
  *rest = sp == std::wstring::npos ? L"" : line.substr(sp + 1);
}

int to_int(const std::wstring& s) {
  if (s.empty()) throw Failure{L"a number is missing"};
  return static_cast<int>(wcstol(s.c_str(), nullptr, 0));
}

HWND control(State& st, int id) {
  if (!st.dialog || !IsWindow(st.dialog)) throw Failure{L"no current dialog"};
  HWND c = GetDlgItem(st.dialog, id);
  if (!c) throw Failure{L"no control " + std::to_wstring(id)};
  return c;
}

// Lets the dialog's thread handle everything sent before (it answers only from its
// message loop).
void sync(HWND window) {
  DWORD_PTR r;
  SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &r);
}

bool is_checked(HWND box) {
  DWORD_PTR r = 0;
  SendMessageTimeoutW(box, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 5000, &r);
  return r == BST_CHECKED;
}

void wait_for(State& st, const std::wstring& args) {
  std::wstring what, secs;
  split(args, &what, &secs);
  DWORD ms = secs.empty() ? 20000 : static_cast<DWORD>(to_int(secs) * 1000);
  if (!st.process.hProcess) throw Failure{L"no process started"};
  if (what == L"exit") {
    if (WaitForSingleObject(st.process.hProcess, ms) != WAIT_OBJECT_0) {
      throw Failure{L"the process is still running"};
    }
    DWORD code = 0;
    GetExitCodeProcess(st.process.hProcess, &code);
    out(L"exit code=" + std::to_wstring(code));
    st.dialog = nullptr;
    return;
  }
  Kind kind;
  if (!drv::parse_kind(what, &kind)) throw Failure{L"unknown dialog kind " + what};
  DWORD start = GetTickCount();
  for (;;) {
    for (HWND w : drv::process_dialogs(st.process.dwProcessId)) {
      if (drv::kind_of(w) == kind) {
        sync(w);
        st.dialog = w;
        out(std::wstring(L"dialog ") + drv::kind_name(kind) +
            L" caption=" + drv::escape(drv::window_text(w)));
        return;
      }
    }
    if (WaitForSingleObject(st.process.hProcess, 0) == WAIT_OBJECT_0) {
      throw Failure{L"the process ended before a " + what + L" dialog appeared"};
    }
    if (GetTickCount() - start > ms) throw Failure{L"no " + what + L" dialog appeared"};
    Sleep(10);  // often enough for the benchmark's timings
  }
}

void start(State& st, const std::wstring& path) {
  if (st.process.hProcess) throw Failure{L"a process was already started"};
  std::wstring cmd = L"\"" + path + L"\"";
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  if (!CreateProcessW(path.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &st.process)) {
    throw Failure{L"cannot start " + path + L" (error " + std::to_wstring(GetLastError()) + L")"};
  }
  out(L"started pid=" + std::to_wstring(st.process.dwProcessId));
}

void click(State& st, int id) {
  HWND b = control(st, id);
  if (!IsWindowVisible(b)) throw Failure{L"control " + std::to_wstring(id) + L" is hidden"};
  if (!IsWindowEnabled(b)) throw Failure{L"control " + std::to_wstring(id) + L" is disabled"};
  // Posted: the click may open a modal box, which must not block the driver.
  PostMessageW(b, BM_CLICK, 0, 0);
}

void press_key(State& st, const std::wstring& name) {
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
  if (!st.dialog) throw Failure{L"no current dialog"};
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  HWND target = st.dialog;
  if (GetGUIThreadInfo(GetWindowThreadProcessId(st.dialog, nullptr), &info) && info.hwndFocus) {
    target = info.hwndFocus;
  }
  PostMessageW(target, WM_KEYDOWN, vk, 1);
  PostMessageW(target, WM_KEYUP, vk, 0xC0000001);
}

void report_message(State& st) {
  if (!st.dialog || drv::kind_of(st.dialog) != Kind::kMessage) throw Failure{L"no message box"};
  std::wstring text;
  std::wstring buttons;
  for (HWND c = GetWindow(st.dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    std::wstring cls = drv::class_name(c);
    if (_wcsicmp(cls.c_str(), L"Static") == 0 &&
        (GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) != SS_ICON && IsWindowVisible(c)) {
      text += drv::window_text(c);
    } else if (_wcsicmp(cls.c_str(), L"Button") == 0 && IsWindowVisible(c)) {
      buttons += (buttons.empty() ? L"" : L",") + std::to_wstring(GetDlgCtrlID(c));
    }
  }
  out(L"message caption=" + drv::escape(drv::window_text(st.dialog)));
  out(L"message text=" + drv::escape(text));
  out(L"message buttons=" + buttons);
}

// Whether the dialog answers, and how soon, while it is busy. A message is always
// waiting for it, so that it is answered at whichever moment the dialog handles its
// messages (the last moment included).
void watch(State& st, const std::wstring& args) {
  std::wstring id, rest, ms, mode;
  split(args, &id, &rest);
  split(rest, &ms, &mode);
  HWND bar = control(st, to_int(id));
  UINT timeout = static_cast<UINT>(to_int(ms));
  bool leave = mode == L"leave";
  LARGE_INTEGER freq, t0, t1;
  QueryPerformanceFrequency(&freq);
  for (;;) {
    DWORD_PTR pos = 0;
    QueryPerformanceCounter(&t0);
    bool answered = SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_NORMAL, timeout, &pos) != 0;
    QueryPerformanceCounter(&t1);
    std::wstring took = std::to_wstring((t1.QuadPart - t0.QuadPart) * 1000 / freq.QuadPart);
    // An answer counts even when the dialog ended right after giving it (the last one).
    if (answered) out(L"watch pos=" + std::to_wstring(pos) + L" ms=" + took);
    if (!IsWindow(st.dialog) || !IsWindowVisible(st.dialog)) {
      out(L"watch ended");
      return;
    }
    if (!answered) {
      out(L"watch hung ms=" + took);
      return;
    }
    if (leave && pos > 0 && pos < 100) {
      press_key(st, L"escape");
      PostMessageW(st.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
      out(L"watch sent escape and close");
      leave = false;
    }
  }
}

// The dialog as the screen shows it, once it has handled what was sent to it.
void shot(State& st, const std::wstring& path) {
  RECT area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (st.dialog && IsWindow(st.dialog)) {
    sync(st.dialog);
    Sleep(300);  // the paint that follows
    GetWindowRect(st.dialog, &area);
  }
  std::wstring why;
  if (!drv::capture_png(area, path, &why)) throw Failure{why};
  out(L"shot width=" + std::to_wstring(area.right - area.left) +
      L" height=" + std::to_wstring(area.bottom - area.top));
}

void lock(State& st, const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    throw Failure{L"cannot lock " + path + L" (error " + std::to_wstring(GetLastError()) + L")"};
  }
  st.locks[path] = h;
}

void unlock(State& st, const std::wstring& path) {
  auto it = st.locks.find(path);
  if (it == st.locks.end()) throw Failure{L"not locked: " + path};
  CloseHandle(it->second);
  st.locks.erase(it);
}

void run(State& st, const std::wstring& line) {
  std::wstring cmd, rest;
  split(line, &cmd, &rest);
  if (cmd == L"start") {
    start(st, rest);
  } else if (cmd == L"wait") {
    wait_for(st, rest);
  } else if (cmd == L"caption") {
    if (!st.dialog) throw Failure{L"no current dialog"};
    out(L"caption " + drv::escape(drv::window_text(st.dialog)));
  } else if (cmd == L"text") {
    out(L"text " + rest + L" " + drv::escape(drv::window_text(control(st, to_int(rest)))));
  } else if (cmd == L"enabled") {
    out(L"enabled " + rest + (IsWindowEnabled(control(st, to_int(rest))) ? L" 1" : L" 0"));
  } else if (cmd == L"checked") {
    out(L"checked " + rest + (is_checked(control(st, to_int(rest))) ? L" 1" : L" 0"));
  } else if (cmd == L"focus") {
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    if (!st.dialog) throw Failure{L"no current dialog"};
    GetGUIThreadInfo(GetWindowThreadProcessId(st.dialog, nullptr), &info);
    out(L"focus " + std::to_wstring(info.hwndFocus ? GetDlgCtrlID(info.hwndFocus) : 0));
  } else if (cmd == L"layout") {
    if (!st.dialog) throw Failure{L"no current dialog"};
    for (const std::wstring& l : drv::describe_layout(st.dialog)) out(l);
  } else if (cmd == L"version") {
    for (const std::wstring& l : drv::describe_version(rest)) out(L"version " + l);
  } else if (cmd == L"icons") {
    out(L"icons " + drv::describe_file_icons(rest));
  } else if (cmd == L"message") {
    report_message(st);
  } else if (cmd == L"type") {
    std::wstring id, text;
    split(rest, &id, &text);
    if (!drv::type_text(control(st, to_int(id)), text)) throw Failure{L"typing failed"};
  } else if (cmd == L"click") {
    click(st, to_int(rest));
  } else if (cmd == L"check") {
    std::wstring id, want;
    split(rest, &id, &want);
    HWND box = control(st, to_int(id));
    bool wanted = to_int(want) != 0;
    if (is_checked(box) != wanted) {
      click(st, to_int(id));
      // The click is posted, and sent messages overtake posted ones: poll.
      DWORD start = GetTickCount();
      while (is_checked(box) != wanted) {
        if (GetTickCount() - start > 5000) throw Failure{L"the box did not change"};
        Sleep(20);
      }
    }
  } else if (cmd == L"key") {
    press_key(st, rest);
  } else if (cmd == L"command") {
    if (!st.dialog) throw Failure{L"no current dialog"};
    PostMessageW(st.dialog, WM_COMMAND, MAKEWPARAM(to_int(rest), BN_CLICKED), 0);
  } else if (cmd == L"close") {
    if (!st.dialog) throw Failure{L"no current dialog"};
    PostMessageW(st.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  } else if (cmd == L"watch") {
    watch(st, rest);
  } else if (cmd == L"dialogs") {
    if (st.process.hProcess) {
      for (HWND w : drv::process_dialogs(st.process.dwProcessId)) {
        out(std::wstring(L"dialog ") + drv::kind_name(drv::kind_of(w)) +
            L" caption=" + drv::escape(drv::window_text(w)));
      }
    }
  } else if (cmd == L"lock") {
    lock(st, rest);
  } else if (cmd == L"unlock") {
    unlock(st, rest);
  } else if (cmd == L"shortcut") {
    std::wstring target, args;
    int show = 0;
    if (!drv::read_shortcut(rest, &target, &args, &show)) throw Failure{L"cannot read " + rest};
    out(L"shortcut target=" + drv::escape(target));
    out(L"shortcut args=" + drv::escape(args));
    out(L"shortcut show=" + std::to_wstring(show));
  } else if (cmd == L"folder") {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, to_int(rest), nullptr, SHGFP_TYPE_CURRENT, path))) {
      throw Failure{L"no shell folder " + rest};
    }
    out(L"folder " + drv::escape(path));
  } else if (cmd == L"shot") {
    shot(st, rest);
  } else if (cmd == L"processes") {
    for (const drv::ProcessInfo& p : drv::list_processes()) {
      out(L"process pid=" + std::to_wstring(p.pid) + L" parent=" + std::to_wstring(p.parent) +
          L" image=" + drv::escape(p.image) + L" cmdline=" + drv::escape(p.command_line));
    }
  } else if (cmd == L"memory") {
    if (!st.process.hProcess) throw Failure{L"no process started"};
    out(L"memory " + drv::describe_address_space(st.process.hProcess));
  } else if (cmd == L"sleep") {
    Sleep(static_cast<DWORD>(to_int(rest)));
  } else if (cmd == L"kill") {
    if (st.process.hProcess) TerminateProcess(st.process.hProcess, 99);
  } else {
    throw Failure{L"unknown command " + cmd};
  }
}

// Runs one line; false when it failed.
bool run_line(State& st, std::wstring line) {
  while (!line.empty() && (line.back() == L'\r' || line.back() == L'\n')) line.pop_back();
  size_t i = line.find_first_not_of(L' ');
  if (i == std::wstring::npos || line[i] == L'#') return true;
  line = line.substr(i);
  try {
    run(st, line);
    out(L"ok");
    return true;
  } catch (const Failure& f) {
    out(L"error: " + f.why);
    return false;
  }
}

std::vector<std::wstring> script_lines(int argc, wchar_t** argv, bool* interactive) {
  std::vector<std::wstring> lines;
  *interactive = argc < 2;
  if (argc >= 3 && std::wstring(argv[1]) == L"-f") {
    FILE* f = _wfopen(argv[2], L"rb");
    if (!f) return {L"error-missing-script"};
    std::string content;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) content.append(buf, n);
    fclose(f);
    std::wstringstream ss(drv::from_utf8(content));
    std::wstring l;
    while (std::getline(ss, l)) lines.push_back(l);
  } else {
    std::wstring cur;
    for (int i = 1; i < argc; ++i) {
      std::wstring a = argv[i];
      if (a == L";") {
        lines.push_back(cur);
        cur.clear();
      } else {
        cur += (cur.empty() ? L"" : L" ") + a;
      }
    }
    if (!cur.empty()) lines.push_back(cur);
  }
  return lines;
}

}  // namespace

int main() {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stdin), _O_BINARY);
  CoInitialize(nullptr);
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  State st;
  bool interactive = false;
  std::vector<std::wstring> lines = script_lines(argc, argv, &interactive);
  int status = 0;
  if (interactive) {
    char buf[8192];
    while (fgets(buf, sizeof buf, stdin)) run_line(st, drv::from_utf8(buf));
  } else {
    for (const std::wstring& l : lines) {
      if (!run_line(st, l)) {
        status = 1;
        break;
      }
    }
  }
  for (auto& lock : st.locks) CloseHandle(lock.second);
  CoUninitialize();
  return status;
}
