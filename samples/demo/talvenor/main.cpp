// 塔文诺 Talvenor, the demo product: one window (a message box) that welcomes the user
// and shows the version and the folder the program runs from.
#include <windows.h>

#include <string>

#ifndef TALVENOR_VERSION
#define TALVENOR_VERSION L"1.0"
#endif

namespace {

// The folder of this program, without a trailing backslash.
std::wstring program_folder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (n == 0) return L"?";
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(0, slash);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  std::wstring text = L"欢迎使用塔文诺！\n\n版本：" TALVENOR_VERSION L"\n运行目录：" + program_folder();
  MessageBoxW(nullptr, text.c_str(), L"塔文诺 Talvenor " TALVENOR_VERSION, MB_OK | MB_ICONINFORMATION);
  return 0;
}
