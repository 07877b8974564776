// The folder variables hold the real shell folders of this Windows session.
#include <windows.h>
#include <shlobj.h>
#include <gtest/gtest.h>

#include <string>

#include "base/package_section.h"
#include "platform/platform.h"
#include "variables/section.h"
#include "variables/table.h"

namespace {

std::wstring shell_folder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return L"";
  return path;
}

std::wstring value_of(const char16_t* name) {
  const char16_t* const* v = tv::find_variable(name);
  if (v == nullptr || *v == nullptr) return L"<none>";
  return reinterpret_cast<const wchar_t*>(*v);
}

TEST(ShellFolders, VariablesEqualTheRealFolders) {
  CoInitialize(nullptr);
  tv::set_folder_variables();
  struct {
    const char16_t* name;
    int csidl;
  } rows[] = {{u"{AppData}", CSIDL_APPDATA},
              {u"{StartMenu}", CSIDL_STARTMENU},
              {u"{Programs}", CSIDL_PROGRAMS},
              {u"{CommonPrograms}", CSIDL_COMMON_PROGRAMS},
              {u"{Desktop}", CSIDL_DESKTOPDIRECTORY}};
  for (const auto& row : rows) {
    std::wstring expected = shell_folder(row.csidl);
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(value_of(row.name), expected);
  }
  EXPECT_EQ(value_of(u"{Empty}"), L"");
  CoUninitialize();
}

TEST(ShellFolders, InstallerWithoutPackageFindsNone) {
  // This test program carries no package section.
  const uint8_t* blob = nullptr;
  uint32_t n = 0, key = 0;
  EXPECT_FALSE(tv::embedded_package(&blob, &n, &key));
}

}  // namespace
