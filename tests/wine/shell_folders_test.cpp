// The folder variables hold the real shell folders of this Windows session; the
// shell's own folders, the drives and their free space are the real ones.
#include <windows.h>
#include <shlobj.h>
#include <knownfolders.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// The folders the install folder may not be: the shell's, as it gives them (the
// downloads folder only through the known folders).
TEST(ShellFolders, OwnFoldersAreTheShells) {
  std::vector<std::wstring> own;
  tv::list_own_folders(
      [](void* context, const char16_t* path) {
        static_cast<std::vector<std::wstring>*>(context)->push_back(
            reinterpret_cast<const wchar_t*>(path));
      },
      &own);
  auto listed = [&](const std::wstring& path) {
    for (const auto& o : own)
      if (o == path) return true;
    return false;
  };
  for (int csidl : {CSIDL_PROFILE, CSIDL_PERSONAL, CSIDL_DESKTOPDIRECTORY, CSIDL_APPDATA,
                    CSIDL_WINDOWS, CSIDL_PROGRAM_FILES}) {
    std::wstring expected = shell_folder(csidl);
    EXPECT_FALSE(expected.empty());
    EXPECT_TRUE(listed(expected)) << csidl;
  }
  wchar_t* downloads = nullptr;
  ASSERT_TRUE(SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Downloads, 0, nullptr, &downloads)));
  EXPECT_TRUE(listed(downloads));
  CoTaskMemFree(downloads);
}

TEST(ShellFolders, DrivesAndTheirFreeSpace) {
  EXPECT_TRUE(tv::drive_exists(u'C'));
  EXPECT_TRUE(tv::drive_exists(u'c'));
  EXPECT_FALSE(tv::drive_exists(u'Q'));  // no prefix of ours maps Q:
  uint64_t bytes = 0;
  EXPECT_TRUE(tv::free_space(u"C:\\", &bytes));
  EXPECT_GT(bytes, 0u);
  EXPECT_FALSE(tv::free_space(u"Q:\\", &bytes));
}

TEST(ShellFolders, InstallerWithoutPackageFindsNone) {
  // This test program carries no package section.
  const uint8_t* blob = nullptr;
  uint32_t n = 0, key = 0;
  EXPECT_FALSE(tv::embedded_package(&blob, &n, &key));
}

}  // namespace
