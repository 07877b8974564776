// The maker's platform: the installer's code run by the maker makes, moves and removes
// nothing, on any drive or relative path, and sees no drive at all.
#include <filesystem>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "platform/platform.h"

namespace {

namespace fs = std::filesystem;

TEST(MakerPlatform, EveryFileCallFails) {
  // Relative paths too: none may land in the maker's working folder.
  const char16_t* const paths[] = {u"C:\\", u"D:\\Kesta", u"maker-platform-probe", u"\\maker-platform-probe", u""};
  char16_t out[260] = {};
  uint64_t free = 0;
  for (const char16_t* p : paths) {
    const std::string shown = fs::path(std::u16string(p)).string();
    EXPECT_FALSE(tv::create_directory(p)) << shown;
    EXPECT_FALSE(tv::path_exists(p)) << shown;
    EXPECT_FALSE(tv::move_path(p, u"D:\\moved")) << shown;
    EXPECT_FALSE(tv::remove_directory(p)) << shown;
    EXPECT_EQ(tv::open_for_write(p), nullptr) << shown;
    EXPECT_FALSE(tv::final_path(p, out)) << shown;
    EXPECT_FALSE(tv::free_space(p, &free)) << shown;
    EXPECT_FALSE(tv::save_shortcut(p, u"D:\\Kesta\\k.exe", u"", 1)) << shown;
    EXPECT_NE(tv::last_error(), 0u) << shown;  // a failure with a reason
  }
  EXPECT_FALSE(fs::exists("maker-platform-probe"));
}

TEST(MakerPlatform, NoDriveAndNoPackageOfItsOwn) {
  for (char16_t letter = u'A'; letter <= u'Z'; ++letter) EXPECT_FALSE(tv::drive_exists(letter));
  const uint8_t* blob = nullptr;
  uint32_t n = 0, key = 0;
  EXPECT_FALSE(tv::embedded_package(&blob, &n, &key));
}

TEST(MakerPlatform, ItsClockMovesOnlyWhenItPauses) {
  uint32_t start = tv::milliseconds();
  EXPECT_EQ(tv::milliseconds(), start);
  tv::pause_milliseconds(250);
  EXPECT_EQ(tv::milliseconds(), start + 250);
}

}  // namespace
