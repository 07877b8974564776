// The stand-in platform keeps every path inside its root folder.
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/posix_platform.h"
#include "support/test_support.h"

namespace {

using tvtest::InstallerTest;

class StandInTest : public InstallerTest {
 protected:
  std::string rel(const std::u16string& p) {
    std::string h = tv::posix::host_path(p.c_str());
    return h.compare(0, root_.size(), root_) == 0 ? h.substr(root_.size()) : "OUTSIDE:" + h;
  }
};

TEST_F(StandInTest, PathsMapUnderTheRoot) {
  EXPECT_EQ(rel(u"D:\\Kesta\\a.txt"), "/D/Kesta/a.txt");
  EXPECT_EQ(rel(u"d:/x//y\\"), "/D/x/y");
  EXPECT_EQ(rel(u"\\top"), "/C/top");
  EXPECT_EQ(rel(u"rel\\f"), "/cwd/rel/f");
  EXPECT_EQ(rel(u"D:"), "/D");
}

TEST_F(StandInTest, DotDotStopsAtTheTopOfItsDrive) {
  EXPECT_EQ(rel(u"D:\\a\\..\\b"), "/D/b");
  EXPECT_EQ(rel(u"D:\\..\\..\\..\\etc\\passwd"), "/D/etc/passwd");
  EXPECT_EQ(rel(u"..\\..\\x"), "/cwd/x");
  EXPECT_EQ(rel(u"D:\\.\\a\\.\\b"), "/D/a/b");
}

TEST_F(StandInTest, BareDriveAndEmptyNameCannotBeCreated) {
  EXPECT_FALSE(tv::create_directory(u"D:"));
  EXPECT_FALSE(tv::create_directory(u""));
  EXPECT_TRUE(tv::create_directory(u"D:\\new"));
  EXPECT_FALSE(tv::create_directory(u"D:\\new"));  // exists already
  EXPECT_TRUE(tv::path_exists(u"D:\\new"));
}

TEST_F(StandInTest, MoveRefusesAnExistingDestinationAndHeldPaths) {
  ASSERT_TRUE(tv::create_directory(u"D:\\a"));
  ASSERT_TRUE(tv::create_directory(u"D:\\b"));
  EXPECT_FALSE(tv::move_path(u"D:\\a", u"D:\\b"));
  tv::posix::hold_path(u"D:\\a", true);
  EXPECT_FALSE(tv::move_path(u"D:\\a", u"D:\\c"));
  tv::posix::hold_path(u"D:\\a", false);
  EXPECT_TRUE(tv::move_path(u"D:\\a", u"D:\\c"));
  EXPECT_FALSE(tv::path_exists(u"D:\\a"));
}

// Output files behave as "wb" does: created or truncated, the whole content written
// whatever its size, and a directory cannot be opened as a file.
TEST_F(StandInTest, OutputFilesAreTruncatedWrittenWholeAndNeverDirectories) {
  write_host_file(u"D:\\f.bin", std::string(10000, 'o'));
  std::string content(3 * 1024 * 1024 + 7, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = char(i * 131 % 251);
  tv::OutputFile* file = tv::open_for_write(u"D:\\f.bin");
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(tv::write_file(file, content.data(), content.size()));
  EXPECT_TRUE(tv::close_file(file));
  EXPECT_EQ(read_host_file(u"D:\\f.bin"), content);

  file = tv::open_for_write(u"D:\\f.bin");
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(tv::write_file(file, "", 0));
  EXPECT_TRUE(tv::close_file(file));
  EXPECT_EQ(read_host_file(u"D:\\f.bin"), "");

  ASSERT_TRUE(tv::create_directory(u"D:\\dir"));
  EXPECT_EQ(tv::open_for_write(u"D:\\dir"), nullptr);
  EXPECT_EQ(tv::open_for_write(u"D:\\missing\\f.bin"), nullptr);
}

// The buffer hint changes nothing in what the buffer holds, at any alignment.
TEST_F(StandInTest, LargeBufferHintKeepsContent) {
  std::vector<uint8_t> buffer(5 * 1024 * 1024 + 3, 0x5A);
  tv::prepare_large_buffer(buffer.data() + 1, buffer.size() - 1);
  tv::prepare_large_buffer(buffer.data(), 0);
  for (size_t i = 0; i < buffer.size(); i += 4093) ASSERT_EQ(buffer[i], 0x5A);
}

}  // namespace
