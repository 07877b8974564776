// Directory trees and the files section over a real temporary folder.
#include "actions/directories.h"
#include "actions/files.h"
#include "actions_fixture.h"

#include <tuple>

namespace {

using tvtest::FileEntry;
using tvtest::Message;

const std::u16string kPrompt = u"\u65E0\u6CD5\u5199\u5165\u6587\u4EF6: ";          // 无法写入文件:
const std::u16string kPromptEnd = u"\n\u8BF7\u5148\u5173\u95EDTalvenor\uFF01";  // 请先关闭Talvenor！

size_t record_bytes(const FileEntry& f) { return 2 * (f.path.size() + 1) + 4 + f.content.size(); }

// A script whose files section is written by `files` after a header with {App}.
std::vector<uint8_t> raw_script(const std::function<void(tv::ScriptWriter&)>& files) {
  tv::ScriptWriter w;
  w.put_int(1);
  w.put_int(1);
  w.put_string(u"{App}");
  w.put_string(u"D:\\Kesta");
  files(w);
  return w.bytes();
}

class FilesTest : public tvtest::ActionsTest {};

TEST_F(FilesTest, DirectoryTreeCreatesEachMissingLevel) {
  make_host_dir(u"D:\\A");
  EXPECT_EQ(tv::create_directory_tree(u"D:\\A\\B\\C\\E"), 1);
  EXPECT_TRUE(host_exists(u"D:\\A\\B\\C\\E"));
  EXPECT_EQ(tv::create_directory_tree(u"D:\\A\\B\\C\\E"), 0);  // the path itself exists
  // A trailing backslash: its level is made as a prefix, so the last call fails.
  EXPECT_EQ(tv::create_directory_tree(u"D:\\A\\B\\F\\"), 0);
  EXPECT_TRUE(host_exists(u"D:\\A\\B\\F"));
  EXPECT_EQ(tv::create_directory_tree(nullptr), 0);
}

TEST_F(FilesTest, DirectoryTreeRefusesPathsOf260Units) {
  std::u16string fits = u"D:\\L\\" + std::u16string(254, u'x');
  std::u16string too_long = u"D:\\M\\" + std::u16string(255, u'x');
  ASSERT_EQ(fits.size(), 259u);
  EXPECT_EQ(tv::create_directory_tree(fits.c_str()), 1);
  EXPECT_TRUE(host_exists(fits));
  EXPECT_EQ(tv::create_directory_tree(too_long.c_str()), 0);
  EXPECT_FALSE(host_exists(u"D:\\M"));
}

TEST_F(FilesTest, PackedRecordsAreWrittenInOrder) {
  std::vector<FileEntry> files = {
      {u"{App}\\odd.txt", "abc"},  // three bytes: the records after it start at odd addresses
      {u"{App}\\empty.dat", ""},
      {u"{App}\\bin\\deep\\er\\data.bin", std::string("\0\x01\xff\0z", 5)},
      {u"plain.txt", "relative to the current directory"}};
  make_host_dir(u"D:\\Kesta");
  write_host_file(u"D:\\Kesta\\odd.txt", "an older and longer file");
  write_host_file(u"D:\\Kesta\\empty.dat", "old");
  start(tvtest::make_script(1, {{u"{App}", u"D:\\Kesta"}}, files, u"after"));
  size_t at = offset() + 4;
  ASSERT_EQ((at + record_bytes(files[0])) % 2, 1u);

  EXPECT_EQ(tv::extract_files(), 1);
  EXPECT_EQ(read_host_file(u"D:\\Kesta\\odd.txt"), "abc");
  EXPECT_TRUE(host_exists(u"D:\\Kesta\\empty.dat"));
  EXPECT_EQ(read_host_file(u"D:\\Kesta\\empty.dat"), "");
  EXPECT_EQ(read_host_file(u"D:\\Kesta\\bin\\deep\\er\\data.bin"), files[2].content);
  EXPECT_EQ(read_host_file(u"plain.txt"), files[3].content);
  for (const FileEntry& f : files) at += record_bytes(f);
  EXPECT_EQ(offset(), at);
  EXPECT_TRUE(messages_.empty());
}

TEST_F(FilesTest, NoRecordsForCountZeroOrLess) {
  for (int32_t count : {0, -3}) {
    start(raw_script([&](tv::ScriptWriter& w) { w.put_int(count); }));
    EXPECT_EQ(tv::extract_files(), 1);
    EXPECT_EQ(offset(), tv::script_length());
  }
}

TEST_F(FilesTest, HeldFileIsWrittenOnRetryAfterRelease) {
  std::u16string first = u"D:\\Kesta\\a-long-name-held-open.exe", second = u"D:\\b.dll";
  tv::posix::hold_path(first, true);
  tv::posix::hold_path(second, true);
  respond([&](const Message&) {
    tv::posix::hold_path(messages_.size() == 1 ? first : second, false);
    return tv::kIdRetry;
  });
  start(tvtest::make_script(1, {}, {{first, "one"}, {second, "two"}}, u""));
  EXPECT_EQ(tv::extract_files(), 1);
  EXPECT_EQ(read_host_file(first), "one");
  EXPECT_EQ(read_host_file(second), "two");
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_EQ(messages_[0].text, kPrompt + first + kPromptEnd);
  EXPECT_EQ(messages_[0].caption, u"\u5B89\u88C5\u51FA\u9519");  // 安装出错
  EXPECT_EQ(messages_[0].type, 0x15u);
  EXPECT_EQ(messages_[1].text, kPrompt + second + kPromptEnd);  // built afresh
}

TEST_F(FilesTest, CancelKeepsEarlierFilesAndWritesNoLaterOnes) {
  std::vector<FileEntry> files = {
      {u"D:\\K\\a.txt", "a"}, {u"D:\\K\\b.txt", "b"}, {u"D:\\Later\\c.txt", "c"}};
  tv::posix::hold_path(u"D:\\K\\b.txt", true);
  answers_ = {tv::kIdRetry, tv::kIdCancel};
  start(tvtest::make_script(1, {}, files, u""));
  size_t after_b = offset() + 4 + record_bytes(files[0]) + record_bytes(files[1]);

  EXPECT_EQ(tv::extract_files(), 0);
  EXPECT_EQ(messages_.size(), 2u);  // the held file was tried again once
  EXPECT_EQ(read_host_file(u"D:\\K\\a.txt"), "a");
  EXPECT_FALSE(host_exists(u"D:\\K\\b.txt"));
  EXPECT_FALSE(host_exists(u"D:\\Later"));
  EXPECT_EQ(offset(), after_b);  // past the cancelled record
}

TEST_F(FilesTest, FailedWriteOrCloseRewritesTheWholeFile) {
  for (bool failing_write : {true, false}) {
    SCOPED_TRACE(failing_write ? "write" : "close");
    messages_.clear();
    make_host_dir(u"D:\\W");
    write_host_file(u"D:\\W\\f.bin", "an older and longer file");
    if (failing_write)
      tv::posix::fail_next_writes(2);
    else
      tv::posix::fail_next_closes(2);
    answers_ = {tv::kIdRetry, tv::kIdRetry};
    start(tvtest::make_script(1, {}, {{u"D:\\W\\f.bin", "0123456789"}, {u"D:\\W\\g.bin", "g"}}, u""));
    EXPECT_EQ(tv::extract_files(), 1);
    EXPECT_EQ(read_host_file(u"D:\\W\\f.bin"), "0123456789");
    EXPECT_EQ(read_host_file(u"D:\\W\\g.bin"), "g");
    ASSERT_EQ(messages_.size(), 2u);
    for (const Message& m : messages_) EXPECT_EQ(m.text, kPrompt + u"D:\\W\\f.bin" + kPromptEnd);
  }

  messages_.clear();
  tv::posix::fail_next_writes(1);
  start(tvtest::make_script(1, {}, {{u"D:\\W\\h.bin", "h"}, {u"D:\\W\\i.bin", "i"}}, u""));
  EXPECT_EQ(tv::extract_files(), 0);  // cancelled
  EXPECT_EQ(messages_.size(), 1u);
  EXPECT_FALSE(host_exists(u"D:\\W\\i.bin"));
}

TEST_F(FilesTest, DamagedRecordsAreReported) {
  // count, then records of path, size and the bytes actually present
  auto section = [](int32_t count, std::vector<std::tuple<std::u16string, int32_t, std::string>> records) {
    return [=](tv::ScriptWriter& w) {
      w.put_int(count);
      for (const auto& r : records) {
        w.put_string(std::get<0>(r));
        w.put_int(std::get<1>(r));
        w.put_bytes(std::get<2>(r).data(), std::get<2>(r).size());
      }
    };
  };
  struct Case {
    const char* what;
    std::function<void(tv::ScriptWriter&)> section;
  } cases[] = {
      {"negative size", section(2, {{u"D:\\ok.txt", 1, "x"}, {u"D:\\bad.txt", -1, "yyyy"}})},
      {"content past the end", section(1, {{u"D:\\bad.txt", 100, "abc"}})},
      {"path past the end", [](tv::ScriptWriter& w) { w.put_int(1); w.put_bytes("D\0:\0\\", 5); }},
      {"count past the end", [](tv::ScriptWriter& w) { w.put_bytes("\1\0", 2); }},
      {"unknown variable", section(1, {{u"{Nope}\\bad.txt", 0, ""}})},
      {"unclosed variable", section(1, {{u"{App\\bad.txt", 0, ""}})},
      // 8 + 1 + 251 = 260 units
      {"expands past 259 units", section(1, {{u"{App}\\" + std::u16string(251, u'y'), 0, ""}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    messages_.clear();
    tv::clear_damage_reason();
    start(raw_script(c.section));
    EXPECT_EQ(tv::extract_files(), 0);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_TRUE(is_damage_report(messages_[0]));
    EXPECT_STRNE(tv::damage_reason(), "");
    EXPECT_FALSE(host_exists(u"D:\\bad.txt"));
  }
  EXPECT_EQ(read_host_file(u"D:\\ok.txt"), "x");  // the record before the damaged one
}

TEST(WritePrompt, LongPathIsCutAndTheBufferIsRefilled) {
  char16_t out[tv::kPromptUnits];
  std::fill(std::begin(out), std::end(out), u'#');
  std::u16string path(2000, u'p');
  tv::build_write_prompt(out, path.c_str());
  std::u16string text(out);
  ASSERT_EQ(text.size(), tv::kPromptUnits - 1);
  EXPECT_EQ(text.substr(0, kPrompt.size() + 1), kPrompt + u"p");
  EXPECT_EQ(text.substr(text.size() - kPromptEnd.size()), kPromptEnd);

  tv::build_write_prompt(out, u"D:\\a");
  EXPECT_EQ(std::u16string(out), kPrompt + u"D:\\a" + kPromptEnd);
  size_t used = std::u16string(out).size();
  EXPECT_TRUE(std::all_of(out + used, std::end(out), [](char16_t c) { return c == 0; }));
}

}  // namespace
