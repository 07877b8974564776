// talvenor-pack try: the machine cannot run the installer (exit status 2).
#pragma once
#include <stdexcept>
#include <string>

namespace tvpack {

// The machine cannot run the installer (exit status 2); one line.
class MachineError : public std::runtime_error {
 public:
  explicit MachineError(const std::string& line) : std::runtime_error(line) {}
};

}  // namespace tvpack
