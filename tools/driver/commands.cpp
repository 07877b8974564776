// The driver's commands: one table of their names, what each takes after its name,
// and what it does.
#include <windows.h>

#include "driver.h"
#include "line_escape.h"

namespace drv {
namespace {

// What a command takes after its name and one space.
enum class Takes {
  kNothing,        // whatever follows is ignored
  kText,           // the rest of the line as it is, perhaps empty
  kNumber,         // a number
  kNumberAndText,  // a number, one space, then the rest of the line as it is
};

struct Args {
  std::wstring line;  // the rest of the line, as given (some answers repeat it)
  int number = 0;
  std::wstring text;
};

struct Command {
  const wchar_t* name;
  Takes takes;
  bool needs_dialog;  // refused without a current dialog, before its arguments are read
  void (*run)(Session&, const Args&);
};

using tv::escape_line;

// For the table: whether a command needs a current dialog.
constexpr bool kDialog = true;
constexpr bool kAny = false;

// "wait KIND [SECONDS]" (20 s unless told); "wait exit" waits for the process's end,
// "wait focus ID [SECONDS]" for the control to have the focus.
void run_wait(Session& s, const Args& a) {
  std::wstring what, secs, id;
  split(a.text, &what, &secs);
  if (what == L"focus") {
    std::wstring rest = secs;
    split(rest, &id, &secs);
  }
  DWORD ms = secs.empty() ? 20000 : static_cast<DWORD>(to_int(secs) * 1000);
  if (!s.process.hProcess) throw Failure{L"no process started"};
  if (what == L"focus") {
    wait_for_focus(s, to_int(id), ms);
  } else if (what == L"exit") {
    wait_for_exit(s, ms);
  } else {
    wait_for_dialog(s, what, ms);
  }
}

void run_message(Session& s, const Args&) {
  if (!s.dialog || kind_of(s.dialog) != Kind::kMessage) throw Failure{L"no message box"};
  std::wstring caption, text, buttons;
  describe_message(s.dialog, &caption, &text, &buttons);
  out(L"message caption=" + escape_line(caption));
  out(L"message text=" + escape_line(text));
  out(L"message buttons=" + buttons);
}

// "check ID 0|1": a missing dialog or control is reported before a missing state.
void run_check(Session& s, const Args& a) {
  control(s, a.number);
  set_check(s, a.number, to_int(a.text) != 0);
}

// "watch ID MS [leave]"
void run_watch(Session& s, const Args& a) {
  HWND bar = control(s, a.number);
  std::wstring ms, mode;
  split(a.text, &ms, &mode);
  watch_progress(s, bar, static_cast<UINT>(to_int(ms)), mode == L"leave");
}

void run_dialogs(Session& s, const Args&) {
  if (!s.process.hProcess) return;
  for (HWND w : process_dialogs(s.process.dwProcessId)) {
    out(std::wstring(L"dialog ") + kind_name(kind_of(w)) +
        L" caption=" + escape_line(window_text(w)));
  }
}

void run_shortcut(Session&, const Args& a) {
  std::wstring target, args;
  int show = 0;
  if (!read_shortcut(a.text, &target, &args, &show)) throw Failure{L"cannot read " + a.text};
  out(L"shortcut target=" + escape_line(target));
  out(L"shortcut args=" + escape_line(args));
  out(L"shortcut show=" + std::to_wstring(show));
}

void run_folder(Session&, const Args& a) {
  std::wstring path;
  if (!shell_folder(a.number, &path)) throw Failure{L"no shell folder " + a.line};
  out(L"folder " + escape_line(path));
}

// The 8.3 name Windows gives an existing path (GetShortPathNameW).
void run_short(Session&, const Args& a) {
  wchar_t path[MAX_PATH] = {};
  DWORD units = GetShortPathNameW(a.text.c_str(), path, MAX_PATH);
  if (units == 0 || units >= MAX_PATH) throw Failure{L"no short name for " + a.text};
  out(L"short " + escape_line(path));
}

void run_processes(Session&, const Args&) {
  for (const ProcessInfo& p : list_processes()) {
    out(L"process pid=" + std::to_wstring(p.pid) + L" parent=" + std::to_wstring(p.parent) +
        L" image=" + escape_line(p.image) + L" cmdline=" + escape_line(p.command_line));
  }
}

// Every command, each answering with its results and then "ok" or "error: ...":
//   start PATH            start an installer (the process all other commands watch; another
//                         once it has ended)
//   wait KIND [SECONDS]   wait for its install|finish|message|browse|loading dialog; it becomes
//                         the current dialog. "wait exit" waits for the process to end;
//                         "wait focus ID [SECONDS]" for control ID to have the focus
//   children              how many processes it (and those it started) have created so far,
//                         the ended ones too: "children N" (final once it has ended)
//   caption | text ID | enabled ID | checked ID | focus     read the current dialog
//   layout                its style, controls, dialog-unit rectangles and tab order
//   fit                   whether each visible static text and button's text fits its
//                         control: "fit id=ID class=CLASS fits=yes|no needed=WxH
//                         available=WxH text=TEXT" (pixels: the text's size as the
//                         control lays it out, and the room it has there)
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
//   short PATH            the 8.3 name of an existing path, as GetShortPathNameW gives it
//   shot PATH             the current dialog's window (the whole screen when there is
//                         none) as a PNG file: "shot width=W height=H"
//   processes             every process: "process pid=P parent=Q image=PATH cmdline=TEXT"
//   endprogram PID        end a program as a user would: WM_CLOSE to its windows, 5 s,
//                         then TerminateProcess: "endprogram closed|gone|terminated [nowindow]"
//   memory                the started process's address space: "memory used=B committed=B"
//   sleep MS | kill
using S = Session;
using A = Args;
const Command kCommands[] = {
    {L"start", Takes::kText, kAny, [](S& s, const A& a) { start_process(s, a.text); }},
    {L"wait", Takes::kText, kAny, run_wait},
    {L"caption", Takes::kNothing, kDialog,
     [](S& s, const A&) { out(L"caption " + escape_line(window_text(s.dialog))); }},
    {L"text", Takes::kNumber, kAny,
     [](S& s, const A& a) {
       out(L"text " + a.line + L" " + escape_line(window_text(control(s, a.number))));
     }},
    {L"enabled", Takes::kNumber, kAny,
     [](S& s, const A& a) {
       out(L"enabled " + a.line + (IsWindowEnabled(control(s, a.number)) ? L" 1" : L" 0"));
     }},
    {L"checked", Takes::kNumber, kAny,
     [](S& s, const A& a) {
       out(L"checked " + a.line + (is_checked(control(s, a.number)) ? L" 1" : L" 0"));
     }},
    {L"focus", Takes::kNothing, kDialog,
     [](S& s, const A&) { out(L"focus " + std::to_wstring(focused_control_id(s.dialog))); }},
    {L"layout", Takes::kNothing, kDialog,
     [](S& s, const A&) {
       for (const std::wstring& l : describe_layout(s.dialog)) out(l);
     }},
    {L"fit", Takes::kNothing, kDialog,
     [](S& s, const A&) {
       for (const std::wstring& l : describe_fit(s)) out(l);
     }},
    {L"version", Takes::kText, kAny,
     [](S&, const A& a) {
       for (const std::wstring& l : describe_version(a.text)) out(L"version " + l);
     }},
    {L"icons", Takes::kText, kAny,
     [](S&, const A& a) { out(L"icons " + describe_file_icons(a.text)); }},
    {L"message", Takes::kNothing, kAny, run_message},
    {L"type", Takes::kNumberAndText, kAny,
     [](S& s, const A& a) {
       if (!type_text(control(s, a.number), a.text)) throw Failure{L"typing failed"};
     }},
    {L"click", Takes::kNumber, false, [](S& s, const A& a) { click(s, a.number); }},
    {L"check", Takes::kNumberAndText, false, run_check},
    {L"key", Takes::kText, false, [](S& s, const A& a) { press_key(s, a.text); }},
    {L"command", Takes::kNumber, true,
     [](S& s, const A& a) {
       PostMessageW(s.dialog, WM_COMMAND, MAKEWPARAM(a.number, BN_CLICKED), 0);
     }},
    {L"close", Takes::kNothing, true,
     [](S& s, const A&) { PostMessageW(s.dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    {L"watch", Takes::kNumberAndText, false, run_watch},
    {L"dialogs", Takes::kNothing, false, run_dialogs},
    {L"lock", Takes::kText, false, [](S& s, const A& a) { lock_path(s, a.text); }},
    {L"unlock", Takes::kText, false, [](S& s, const A& a) { unlock_path(s, a.text); }},
    {L"shortcut", Takes::kText, false, run_shortcut},
    {L"folder", Takes::kNumber, false, run_folder},
    {L"short", Takes::kText, false, run_short},
    {L"shot", Takes::kText, false, [](S& s, const A& a) { take_shot(s, a.text); }},
    {L"processes", Takes::kNothing, false, run_processes},
    {L"children", Takes::kNothing, false, [](S& s, const A&) { count_children(s); }},
    {L"endprogram", Takes::kNumber, false,
     [](S&, const A& a) { end_program(static_cast<DWORD>(a.number), 5000); }},
    {L"memory", Takes::kNothing, false,
     [](S& s, const A&) {
       if (!s.process.hProcess) throw Failure{L"no process started"};
       out(L"memory " + describe_address_space(s.process.hProcess));
     }},
    {L"sleep", Takes::kNumber, false,
     [](S&, const A& a) { Sleep(static_cast<DWORD>(a.number)); }},
    {L"kill", Takes::kNothing, false,
     [](S& s, const A&) {
       if (s.process.hProcess) TerminateProcess(s.process.hProcess, 99);
     }},
};

Args read_args(Takes takes, const std::wstring& rest) {
  Args args;
  args.line = rest;
  std::wstring number;
  switch (takes) {
    case Takes::kNothing: break;
    case Takes::kText: args.text = rest; break;
    case Takes::kNumber: args.number = to_int(rest); break;
    case Takes::kNumberAndText:
      split(rest, &number, &args.text);
      args.number = to_int(number);
      break;
  }
  return args;
}

}  // namespace

void run_command(Session& session, const std::wstring& line) {
  std::wstring name, rest;
  split(line, &name, &rest);
  for (const Command& command : kCommands) {
    if (name != command.name) continue;
    if (command.needs_dialog) current_dialog(session);
    command.run(session, read_args(command.takes, rest));
    return;
  }
  throw Failure{L"unknown command " + name};
}

}  // namespace drv
