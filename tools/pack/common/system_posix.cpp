// The maker's system calls on Linux (see system.h).
#include <unistd.h>

#include "common/system.h"
#include "base/text16.h"

namespace fs = std::filesystem;

namespace tvpack {

fs::path self_dir() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : self.parent_path();
}

std::vector<std::string> utf8_arguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

void use_utf8_console() {}

bool is_terminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

unsigned long process_id() { return static_cast<unsigned long>(getpid()); }

std::u16string file_name_text(const fs::path& path) { return tv::utf8_to_u16(path.filename().string()); }

bool is_reparse_point(const fs::path&) { return false; }

}  // namespace tvpack
