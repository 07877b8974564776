// The names the installer's variable table defines while a session is alive, for the
// maker's suggestion of the nearest one.
#pragma once
#include <set>
#include <string>

#include "session/installer_session.h"

namespace tvpack {

// Every variable the table defines now (built in, or defined since), as UTF-8 names
// with their braces ("{App}").
std::set<std::string> defined_variable_names(const InstallerSession& session);

}  // namespace tvpack
