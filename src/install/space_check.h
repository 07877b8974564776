// The room on the install folder's drive for the package's files, asked about
// before anything is moved or written.
#pragma once

namespace tv {

// True when the files section at the script cursor fits in the space available to
// the user on folder's volume (asked at the deepest part of folder that exists),
// when the volume cannot be asked (a share is never asked), or when the user answers
// Yes to the box that names the space needed and free. False when the user answers No.
bool confirm_free_space(const char16_t* folder);

}  // namespace tv
