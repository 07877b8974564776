// The check of the folder the user chose, made when the install button is pressed
// and before anything is moved or written: one Windows can use as typed, on a drive
// that exists, and none of the user's or the system's own folders.
#pragma once

namespace tv {

// True when folder (the install directory, trailing backslashes stripped) may be
// installed into. Otherwise the box that says what is wrong has been shown, quoting
// typed (the folder as the user typed it).
bool check_install_folder(const char16_t* folder, const char16_t* typed);

}  // namespace tv
