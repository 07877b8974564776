// talvenor-pack try, the session with the UI driver: one command a line, answered by
// lines and "ok" or "error: ...", every answer awaited with a time limit.
#pragma once
#include <stdexcept>
#include <string>
#include <vector>

#include "try/processes.h"

namespace tvpack {

class Sandbox;

// The driver failed a command ("error: ..."), or did not answer in time.
class DriverError : public std::runtime_error {
 public:
  explicit DriverError(const std::string& line) : std::runtime_error(line) {}
};

class DriverSession {
 public:
  DriverSession(Sandbox& sandbox, int bits, const std::string& driver_name);
  ~DriverSession();
  // The command's lines before "ok"; DriverError for "error: ..." or no answer in time.
  std::vector<std::string> command(const std::string& line, int seconds = 30);
  // The unescaped text after the answer's first word(s) ("text 1002 X" -> X).
  std::string value(const std::string& line);

 private:
  bool read_line(std::string* line, int seconds);
  Sandbox& sandbox_;
  Child child_;
  std::string buffer_;
};

}  // namespace tvpack
