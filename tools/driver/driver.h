// The UI driver (talvenor-pack try, the end-to-end tests): starts an installer, finds
// its dialogs by process and control id, reads and changes them, and reports what it
// saw as lines of text. What each of its files offers the others.
#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <vector>

static_assert(sizeof(wchar_t) == 2, "UTF-16 wchar_t expected");

namespace drv {

// What the commands of one run share: the installer's process, the dialog the
// commands act on, and the files held open.
struct Session {
  PROCESS_INFORMATION process = {};
  HANDLE job = nullptr;  // the job the process runs in (children.cpp), null when it could not
  std::wstring image;  // the installer's path, as started
  HWND dialog = nullptr;
  std::map<std::wstring, HANDLE> locks;
};

// A command that failed, and why ("error: WHY").
struct Failure {
  std::wstring why;
};

// commands.cpp: runs one command line (no line end, no leading space).
void run_command(Session& session, const std::wstring& line);

// text.cpp: UTF-8 <-> UTF-16 for the driver's input and output; one answer line on
// standard output; the words and numbers of a command line.
std::wstring from_utf8(const std::string& s);
std::string to_utf8(const std::wstring& s);
void out(const std::wstring& line);
// First word, and the rest of the line after one space.
void split(const std::wstring& line, std::wstring* word, std::wstring* rest);
// A number as C writes it (0x.. too); "a number is missing" when s is empty.
int to_int(const std::wstring& s);

// process.cpp: the installer's process.
void start_process(Session& session, const std::wstring& path);
// Waits up to ms for the process to end and prints its exit code.
void wait_for_exit(Session& session, DWORD ms);

// children.cpp: the installer started in a job of its own (null when the system gives
// none), and how many processes it and those it started have created so far, the ended
// ones too: "children N" (final once it has ended).
HANDLE start_in_job(const std::wstring& path, std::wstring* command, PROCESS_INFORMATION* process);
void count_children(const Session& session);

// dialogs.cpp: the dialogs the driver tells apart (all are "#32770" windows of the
// process), and waiting for one.
enum class Kind { kNone, kInstall, kFinish, kMessage, kBrowse, kLoading };
Kind kind_of(HWND window);
const wchar_t* kind_name(Kind kind);
bool parse_kind(const std::wstring& name, Kind* kind);
// Visible top-level dialogs of a process, in z order.
std::vector<HWND> process_dialogs(DWORD pid);
// Waits up to ms for a dialog of the kind; it becomes the current dialog.
void wait_for_dialog(Session& session, const std::wstring& kind, DWORD ms);
// Lets the dialog's thread handle everything sent before (it answers only from its
// message loop).
void sync(HWND window);

// controls.cpp: reading the current dialog and its controls.
HWND current_dialog(const Session& session);
HWND control(const Session& session, int id);
std::wstring window_text(HWND window);
std::wstring class_name(HWND window);
bool is_checked(HWND box);
// The id of the control that has the keyboard focus in the dialog's thread (0: none).
int focused_control_id(HWND dialog);
// Waits up to ms until control id of the current dialog has the keyboard focus, and
// prints "focus ID". A key posted before a tab that moves the focus was handled before
// it: a thread takes the messages posted to its windows in the order they came. (A sent
// message answered proves nothing of the kind: a thread handles the messages sent to it
// before it takes the next posted one.)
void wait_for_focus(const Session& session, int id, DWORD ms);
// A message box's caption, its texts joined, and its visible buttons' ids.
void describe_message(HWND box, std::wstring* caption, std::wstring* text, std::wstring* buttons);

// twin.cpp: the current dialog made again, hidden, in the driver's process from the
// installer's own template (the one with the same controls), for as long as it lives.
class Twin {
 public:
  explicit Twin(const Session& session);
  ~Twin();
  Twin(const Twin&) = delete;
  Twin& operator=(const Twin&) = delete;
  HWND dialog() const { return dialog_; }

 private:
  HWND dialog_ = nullptr;
};

// fit.cpp: for every visible static text and button of the current dialog, whether its
// text fits: "fit id=ID class=CLASS fits=yes|no needed=WxH available=WxH text=TEXT".
std::vector<std::wstring> describe_fit(const Session& session);

// layout.cpp: the dialog's styles, window and client rectangles and caption; the
// screen size and the dialog base units of the installer's font; one line per control
// (id, class, styles, rectangle in the dialog's client pixels, text); the tab order.
std::vector<std::wstring> describe_layout(HWND dialog);

// input.cpp: acting on the current dialog as a user does.
// Types text into an edit control as key strokes (select all, delete, characters).
bool type_text(HWND edit, const std::wstring& text);
// Presses a button; refused when it is disabled or hidden.
void click(const Session& session, int id);
// Sets a check box by clicking it when needed, and waits until it shows the state.
void set_check(const Session& session, int id, bool wanted);
// Presses a key by name (escape, enter, tab, ...) in the dialog's focused control.
void press_key(const Session& session, const std::wstring& name);

// watch.cpp: whether the busy dialog answers its progress bar, and how soon.
void watch_progress(Session& session, HWND bar, UINT timeout_ms, bool leave);

// files.cpp: what Windows tells of files, and holding them open.
// A file's version information as Windows' own calls read it: "fixed file=A.B.C.D
// product=A.B.C.D", then NAME=VALUE for the strings of its first translation.
std::vector<std::wstring> describe_version(const std::wstring& path);
// A file's icons as the shell extracts them: "count=N big=WxH small=WxH" (0x0: none).
std::wstring describe_file_icons(const std::wstring& path);
// The target, arguments and show command of a shortcut file.
bool read_shortcut(const std::wstring& path, std::wstring* target, std::wstring* args, int* show);
// The path of a shell folder (CSIDL), as the installer's shell gives it.
bool shell_folder(int csidl, std::wstring* path);
// Holds a file or directory open with no sharing, and lets it go.
void lock_path(Session& session, const std::wstring& path);
void unlock_path(Session& session, const std::wstring& path);

// screenshot.cpp: the current dialog's window (the whole screen when there is none)
// as an RGB PNG file; prints "shot width=W height=H".
void take_shot(const Session& session, const std::wstring& path);

// processes.cpp: every process, with its image path and (where the system tells it)
// command line.
struct ProcessInfo {
  DWORD pid = 0, parent = 0;
  std::wstring image, command_line;
};
std::vector<ProcessInfo> list_processes();

// close_program.cpp: ends process pid as a user closing its windows would, waiting up
// to ms for it before terminating it; one "endprogram ..." line says how it ended.
void end_program(DWORD pid, DWORD ms);

// The address space a process holds, as VirtualQueryEx walks it: "used=BYTES
// committed=BYTES" (used: reserved or committed, the images included).
std::wstring describe_address_space(HANDLE process);

}  // namespace drv
