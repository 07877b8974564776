// talvenor-pack try, the Wine user: the name a run's user has (--user), and the run's
// copy of the clean prefix made that user's.
#pragma once
#include <filesystem>
#include <string>

namespace tvpack {

// Why name is no Windows user name try can give ("" when it is one): UTF-8 text of 1 to
// 20 characters (UTF-16 units) in any script, no control character and none of
// "/\[]:;|=,+*?<>, not ending in a dot or a space, not starting with a space, and no
// device name (the profile folder is named after it).
std::string wine_user_problem(const std::string& name);

// Makes the run's prefix name's: the one profile folder under drive_c/users (but Public)
// renamed to name, and the registry's paths into it with it. Wine then takes the user
// from USER (set by the sandbox's environment).
void become_user(const std::filesystem::path& prefix, const std::string& name);

}  // namespace tvpack
