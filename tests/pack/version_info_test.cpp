// The version information of a PE file: the installer's own resources as a real
// resource compiler writes them, files without any, and damaged ones.
#include <algorithm>
#include <cstring>
#include <sstream>

#include "read/inspect.h"
#include "assemble/build.h"
#include "pack_test_support.h"
#include "pe/pe_image.h"
#include "pe/version_info.h"
#include "tv_version.h"

namespace {

using namespace packtest;

std::vector<uint8_t> versioned_stub() { return read_bytes(fs::u8path(TV_VERSIONED_STUB)); }

TEST(VersionInfo, ReadsTheInstallersOwn) {
  std::vector<uint8_t> file = versioned_stub();
  tvpack::VersionInfo info = tvpack::read_version_info(file.data(), file.size());
  const uint16_t version[4] = {TV_VERSION_MAJOR, TV_VERSION_MINOR, TV_VERSION_PATCH, 0};
  EXPECT_EQ(0, std::memcmp(info.file_version, version, sizeof version));
  EXPECT_EQ(0, std::memcmp(info.product_version, version, sizeof version));
  std::vector<std::string> got;
  for (const auto& v : info.strings) got.push_back(v.block + " " + v.name + "=" + v.value);
  EXPECT_EQ(got, (std::vector<std::string>{
                     "080404B0 FileDescription=Talvenor 安装程序",
                     "080404B0 FileVersion=" TV_VERSION_STRING,
                     "080404B0 OriginalFilename=talvenor-setup.exe",
                     "080404B0 ProductName=Talvenor",
                     "080404B0 ProductVersion=" TV_VERSION_STRING}));
}

// inspect shows the names as it shows the values: control characters from the file
// escaped, never passed to the terminal.
TEST(VersionInfo, InspectEscapesTheNames) {
  std::vector<uint8_t> file = versioned_stub();
  const uint8_t name[] = {'P', 0, 'r', 0, 'o', 0, 'd', 0, 'u', 0, 'c', 0, 't', 0, 'N', 0};
  // The last one: the installer's code names the key too, and its resources come last.
  auto at = std::find_end(file.begin(), file.end(), std::begin(name), std::end(name));
  ASSERT_NE(at, file.end());
  at[14] = 0x1B;
  TempDir dir;
  fs::path setup = dir / "setup.exe";
  tvpack::wrap_script(dir.write("script.bin", std::vector<uint8_t>(14, 0)), dir.write("stub.exe", file), 7, setup);
  std::ostringstream out;
  tvpack::inspect_file(setup, out);
  EXPECT_NE(out.str().find(" Product\\x1Bame = \"Talvenor\"\n"), std::string::npos) << out.str();
}

TEST(VersionInfo, FilesWithoutOne) {
  std::vector<uint8_t> text(200, 'x');
  EXPECT_EQ(refusal([&] { tvpack::read_version_info(text.data(), text.size()); }),
            "is not a Windows executable (no MZ header)");
  for (bool plus : {false, true}) {
    PeRecipe recipe;
    recipe.pe32plus = plus;
    std::vector<uint8_t> image = make_pe(recipe);
    EXPECT_EQ(refusal([&] { tvpack::read_version_info(image.data(), image.size()); }), "has no resources");
  }
}

// Every byte of the resource section overwritten in turn: the reader says no or
// reads what is there, and never looks outside the file (run under ASan in the
// sanitizer builds, and by Windows' own heap checks under Wine).
TEST(VersionInfo, DamagedResources) {
  std::vector<uint8_t> file = versioned_stub();
  tvpack::PeLayout pe = tvpack::parse_pe(file.data(), file.size());
  const tvpack::PeSection* rsrc = nullptr;
  for (const auto& s : pe.sections)
    if (s.name == ".rsrc") rsrc = &s;
  ASSERT_NE(rsrc, nullptr);
  int refused = 0;
  for (uint32_t i = 0; i < rsrc->raw_size; ++i) {
    std::vector<uint8_t> damaged(file.begin(), file.begin() + rsrc->raw_pointer + rsrc->raw_size);
    damaged[rsrc->raw_pointer + i] ^= 0xFF;
    tvpack::VersionInfo info;
    if (!refusal([&] { info = tvpack::read_version_info(damaged.data(), damaged.size()); }).empty()) ++refused;
    EXPECT_LE(info.strings.size(), 64u);
  }
  EXPECT_GT(refused, 0);
}

}  // namespace
