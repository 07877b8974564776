// talvenor-pack try: the machine cannot run the installer (exit status 2).
#pragma once
#include <string>

#include "common/errors.h"

namespace tvpack {

// The machine cannot run the installer: the maker's one error, "try: " and why (one line).
[[noreturn]] inline void fail_machine(const std::string& why) { fail("try: " + why); }

}  // namespace tvpack
