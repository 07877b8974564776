// The driver's text: UTF-8 in and out, one answer line at a time, and the words and
// numbers of a command line.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "driver.h"

namespace drv {

std::wstring from_utf8(const std::string& s) {
  if (s.empty()) return L"";
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &out[0], n);
  return out;
}

std::string to_utf8(const std::wstring& s) {
  if (s.empty()) return "";
  int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &out[0], n, nullptr,
                      nullptr);
  return out;
}

// Flushed at once: the reader waits for each answer before it sends the next command.
void out(const std::wstring& line) {
  std::string s = to_utf8(line) + "\n";
  fwrite(s.data(), 1, s.size(), stdout);
  fflush(stdout);
}

void split(const std::wstring& line, std::wstring* word, std::wstring* rest) {
  size_t sp = line.find(L' ');
  *word = line.substr(0, sp);
  *rest = sp == std::wstring::npos ? L"" : line.substr(sp + 1);
}

int to_int(const std::wstring& s) {
  if (s.empty()) throw Failure{L"a number is missing"};
  return static_cast<int>(wcstol(s.c_str(), nullptr, 0));
}

}  // namespace drv
