// The right to write the chosen install folder, asked before anything is moved or
// written: a folder made and removed again where the install would make its own,
// and, for an old version, in the folder it is renamed in.
#pragma once

namespace tv {

// True when Windows lets a folder be made in the deepest existing part of folder
// (and in folder's parent when folder exists), or says no for a reason other than
// the right to write, read-only media or a drive not ready (those are met where
// they were before). Otherwise the box that says why has been shown, quoting typed,
// and nothing is left behind.
bool check_folder_writable(const char16_t* folder, const char16_t* typed);

// Whether a folder can be made in dir (ending in a backslash): one is made and
// removed again. 0 when it can, else the Windows error number.
unsigned probe_writable(const char16_t* dir);

}  // namespace tv
