// Controls of the platform calls a program on a host answers from what it is told,
// touching no file: the message responder, the shell folders, the environment, the
// user's own folders and the installer's own resources. The maker's platform and the
// test stand-in both answer them so (namespace tv::posix, as before).
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tv {
namespace posix {

// Message boxes go to the responder; without one they answer Cancel (or OK for an
// OK-only box).
using Responder = std::function<int(const std::u16string& text, const std::u16string& caption,
                                    unsigned type)>;
void set_responder(Responder responder);

// Folder paths for the shell folder variables; "" makes the lookup fail.
void set_special_folder(int csidl, const std::u16string& path);
// Restores the default folders (C:\Users\Tester\...), the default list of the
// shell's own folders as a 32-bit program on 64-bit Windows is told them (the
// profile, its folders, C:\Users, C:\Windows, C:\Program Files (x86), ...), and the
// default environment (ProgramW6432 and CommonProgramW6432 naming C:\Program Files
// and its Common Files).
void reset_special_folders();
// An environment variable's value; "" unsets it.
void set_environment(const std::u16string& name, const std::u16string& value);
// The shell's own folders, in place of the default list.
void set_own_folders(const std::vector<std::u16string>& paths);

// The bytes reported as the installer's own resource (copied); none until set, and
// none again after clear_own_resources().
void set_own_resource(OwnResource which, const std::vector<uint8_t>& bytes);
void clear_own_resources();

}  // namespace posix
}  // namespace tv
