// The UI driver (talvenor-pack try, the end-to-end tests): starts an installer, finds
// its dialogs by process and control id, reads and changes them, and reports what it
// saw as lines of text.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

static_assert(sizeof(wchar_t) == 2, "UTF-16 wchar_t expected");

namespace drv {

// The dialogs the driver tells apart (all are "#32770" windows of the process).
enum class Kind { kNone, kInstall, kFinish, kMessage, kBrowse, kLoading };
Kind kind_of(HWND window);
const wchar_t* kind_name(Kind kind);
bool parse_kind(const std::wstring& name, Kind* kind);

// Visible top-level dialogs of a process, in z order.
std::vector<HWND> process_dialogs(DWORD pid);

std::wstring window_text(HWND window);
std::wstring class_name(HWND window);

// The dialog's styles, window and client rectangles and caption; the screen size
// and the dialog base units of the installer's font; one line per control (id,
// class, styles, rectangle in the dialog's client pixels, text); the tab order.
std::vector<std::wstring> describe_layout(HWND dialog);

// A file's version information as Windows' own calls read it: "fixed file=A.B.C.D
// product=A.B.C.D", then NAME=VALUE for the strings of its first translation.
std::vector<std::wstring> describe_version(const std::wstring& path);
// A file's icons as the shell extracts them: "count=N big=WxH small=WxH" (0x0: none).
std::wstring describe_file_icons(const std::wstring& path);

// Types text into an edit control as key strokes (select all, delete, characters).
bool type_text(HWND edit, const std::wstring& text);

// The target, arguments and show command of a shortcut file.
bool read_shortcut(const std::wstring& path, std::wstring* target, std::wstring* args, int* show);

// Saves the screen's pixels in area (the screen's coordinates) as an RGB PNG.
bool capture_png(const RECT& area, const std::wstring& path, std::wstring* why);

// The address space a process holds, as VirtualQueryEx walks it: "used=BYTES
// committed=BYTES" (used: reserved or committed, the images included).
std::wstring describe_address_space(HANDLE process);

// Every process, with its image path and (where the system tells it) command line.
struct ProcessInfo {
  DWORD pid = 0, parent = 0;
  std::wstring image, command_line;
};
std::vector<ProcessInfo> list_processes();

// UTF-8 <-> UTF-16 for the driver's input and output.
std::wstring from_utf8(const std::string& s);
std::string to_utf8(const std::wstring& s);
// One value on one line: backslash, line feed and carriage return as \\, \n, \r.
std::wstring escape(const std::wstring& s);

}  // namespace drv
