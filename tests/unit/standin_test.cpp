// The stand-in platform keeps every path inside its root folder.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/standin/standin.h"
#include "support/test_support.h"

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

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

#if defined(__linux__) && defined(MADV_HUGEPAGE)
// Whether the kernel marked the mapping that holds address for huge pages.
bool advised_for_huge_pages(const uint8_t* address) {
  std::ifstream maps("/proc/self/smaps");
  bool inside = false;
  for (std::string line; std::getline(maps, line);) {
    unsigned long long begin = 0, end = 0;
    if (std::sscanf(line.c_str(), "%llx-%llx ", &begin, &end) == 2) {
      inside = uintptr_t(address) >= begin && uintptr_t(address) < end;
    } else if (inside && line.compare(0, 8, "VmFlags:") == 0) {
      return (line + " ").find(" hg ") != std::string::npos;
    }
  }
  return false;
}

// The hint asks for huge pages on the whole pages inside the buffer, and on nothing
// around it: a buffer that starts and ends inside pages leaves those two pages alone.
TEST_F(StandInTest, LargeBufferHintAdvisesTheWholePagesInsideTheBuffer) {
  if (!std::ifstream("/sys/kernel/mm/transparent_hugepage/enabled")) {
    GTEST_SKIP() << "this kernel has no transparent huge pages";
  }
  const size_t page = size_t(sysconf(_SC_PAGESIZE));
  void* mapped = mmap(nullptr, 6 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(mapped, MAP_FAILED);
  uint8_t* pages = static_cast<uint8_t*>(mapped);
  tv::prepare_large_buffer(pages + page + 1, 3 * page);  // ends one byte into page 4
  tv::prepare_large_buffer(pages + 5 * page, 0);
  std::vector<bool> advised;
  for (size_t i = 0; i < 6; ++i) advised.push_back(advised_for_huge_pages(pages + i * page));
  munmap(mapped, 6 * page);
  EXPECT_EQ(advised, (std::vector<bool>{false, false, true, true, false, false}));
}
#endif

}  // namespace

// Names compared as the file systems' case table compares them: each unit by its simple
// uppercase, beyond ASCII and Latin-1, and no unit folded into another's spelling.
TEST(StandInCase, NamesCompareByTheOneCaseTable) {
  struct Case {
    std::u16string a, b;
    bool same;
  } cases[] = {
      {u"readme.TXT", u"README.txt", true},   {u"\u00E4\u00FE", u"\u00C4\u00DE", true},
      {u"\u01C6", u"\u01C4", true},            {u"\u03C2", u"\u03A3", true},
      {u"\u0561\u0584", u"\u0531\u0554", true}, {u"\uFF41", u"\uFF21", true},
      {u"\u0451\u0491", u"\u0401\u0490", true}, {u"\u1E9E", u"\u00DF", false},
      {u"k", u"\u212A", false},                {u"\u00DF", u"s", false},
      {u"a_", u"A-", false},                   {u"\u0131", u"i", true},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(c.a.size(), c.b.size());
    EXPECT_EQ(tv::same_ignoring_case(c.a.c_str(), c.b.c_str(), c.a.size()), c.same)
        << tvtest::utf8(c.a.c_str()) << " " << tvtest::utf8(c.b.c_str());
  }
}
