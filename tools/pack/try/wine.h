// talvenor-pack try, finding Wine: the programs for the installer's bits, the one that
// makes prefixes, the server and the version, or one line saying what to install.
#pragma once
#include <string>

namespace tvpack {

struct Wine {
  std::string wine;        // the one for the installer's bits
  std::string wine32, wine64;  // "" for none
  std::string boot;        // makes the prefix: 64-bit Wine where there is one (it runs both kinds)
  std::string server;      // wineserver
  std::string version;     // "wine-8.0 (...)"
  std::string arch;        // the prefix's WINEARCH: win32 or win64
};

// Wine for a bits-bit program; fails with fail_machine() saying what is missing.
Wine find_wine(int bits);

}  // namespace tvpack
