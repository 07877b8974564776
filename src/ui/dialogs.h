// The installer's two dialogs, the loading window, and the shell calls they make.
#pragma once
#include <windows.h>

static_assert(sizeof(wchar_t) == 2, "UTF-16 wchar_t expected");

// The install dialog (resource 103): loads the package when it opens, shows the
// install directory, title and description, and runs the install sequence.
// Ends with 1 when installed, 2 when cancelled or failed.
INT_PTR CALLBACK install_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// The finish dialog (resource 104): offers to start "{Launch}" and open "{Help}".
INT_PTR CALLBACK finish_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Loading (load_package) with the loading window shown once it has taken a while;
// the window is gone again when this returns. 1 or 0 as load_package; *stopped: the
// user closed the window (no message was shown).
int load_package_with_window(bool* stopped);

// While the thread works: whether it is time to update a window and handle the
// waiting messages (at most every 50 ms; always when now), and the handling itself,
// through dialog's keyboard interface.
bool servicing_due(bool now);
void service_messages(HWND dialog);

// Places a dialog in the middle of the screen, keeping its size.
void centre_dialog(HWND dialog);

// Gives a dialog the program's own icon, big and small, when the program carries one.
void show_program_icon(HWND dialog);

// The shell's folder browser; the chosen folder's file-system path in path
// (MAX_PATH units), or the empty string when cancelled or not a file-system folder.
void browse_for_install_folder(wchar_t* path);

// Starts a file through the shell (its default action) without waiting for it.
void launch_program(const wchar_t* file);
