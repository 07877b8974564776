// The maker's system calls on Windows (see system.h).
#include <windows.h>
#include <io.h>
#include <process.h>
#include <shellapi.h>

#include "common/system.h"
#include "base/text16.h"

namespace fs = std::filesystem;

namespace tvpack {

fs::path self_dir() {
  wchar_t buf[32768];
  DWORD n = GetModuleFileNameW(nullptr, buf, 32768);
  if (n == 0 || n >= 32768) return {};
  return fs::path(std::wstring(buf, n)).parent_path();
}

std::vector<std::string> utf8_arguments(int argc, char** argv) {
  std::vector<std::string> args;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  for (int i = 0; wide != nullptr && i < count; ++i) {
    std::wstring w(wide[i]);
    args.push_back(tv::u16_to_utf8(std::u16string(w.begin(), w.end())));
  }
  LocalFree(wide);
  if (!args.empty()) return args;
  return std::vector<std::string>(argv, argv + argc);
}

void use_utf8_console() { SetConsoleOutputCP(CP_UTF8); }

bool is_terminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

unsigned long process_id() { return static_cast<unsigned long>(_getpid()); }

std::u16string file_name_text(const fs::path& path) { return path.filename().u16string(); }

bool is_reparse_point(const fs::path& path) {
  DWORD attributes = GetFileAttributesW(path.wstring().c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace tvpack
