// Where the installer's DLLs come from. A downloads folder may hold a DLL named like
// a system one; nothing the installer loads may come from its own folder.
#pragma once

namespace tv {

// The first thing the entry does, before anything that can load a DLL: the DLL
// search is restricted to the system folder, and the system DLLs that the system's
// own DLLs load behind the program's back are loaded from there at once.
void harden_dll_search();

}  // namespace tv
