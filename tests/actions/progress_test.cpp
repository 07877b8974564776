// The files step's progress: the bar's arithmetic, and what the files section
// reports while it writes, slices and retries included.
#include "actions/files.h"
#include "actions/progress.h"
#include "actions_fixture.h"

#include <algorithm>

namespace {

using tvtest::FileEntry;
using tvtest::Message;

// Records every position reported.
struct Recorder {
  std::vector<unsigned> positions;
  tv::ProgressSink sink = {[](void* self, unsigned position) {
                             static_cast<Recorder*>(self)->positions.push_back(position);
                           },
                           this};
  bool never_back() const { return std::is_sorted(positions.begin(), positions.end()); }
  size_t distinct() const {
    std::vector<unsigned> p = positions;
    return size_t(std::unique(p.begin(), p.end()) - p.begin());
  }
};

TEST(ProgressPosition, BytesOverTotalWithTheLastStepLeftForTheShortcuts) {
  const uint64_t kGiB = uint64_t(1) << 30;
  EXPECT_EQ(tv::progress_position(0, 0), 0u);  // an empty section
  EXPECT_EQ(tv::progress_position(0, 10), 0u);
  EXPECT_EQ(tv::progress_position(5, 10), 49u);
  EXPECT_EQ(tv::progress_position(10, 10), tv::kProgressFull - 1);
  EXPECT_EQ(tv::progress_position(11, 10), tv::kProgressFull - 1);  // never past full
  // Above 4 GiB: no sum or product wraps at 32 bits.
  EXPECT_EQ(tv::progress_position(4 * kGiB + 1, 5 * kGiB), 79u);
  EXPECT_EQ(tv::progress_position(kGiB, 6 * kGiB), 16u);
  EXPECT_EQ(tv::progress_position(UINT64_MAX / 2, UINT64_MAX), 49u);
  EXPECT_EQ(tv::progress_position(UINT64_MAX, UINT64_MAX), tv::kProgressFull - 1);
}

TEST(ProgressPosition, ARestartedFileDoesNotMoveTheBarBack) {
  Recorder r;
  tv::Progress p = {&r.sink, 1000, 400, 0};
  tv::report_progress(p, 300);  // 700 of 1000
  tv::report_progress(p, 0);    // the file starts over
  tv::report_progress(p, 500);
  EXPECT_EQ(r.positions, (std::vector<unsigned>{69, 69, 89}));
  tv::Progress none = {nullptr, 10, 0, 0};
  tv::report_progress(none, 5);  // nobody to tell
  tv::report_finished(nullptr);
}

class FilesProgressTest : public tvtest::ActionsTest {
 protected:
  void SetUp() override {
    tvtest::ActionsTest::SetUp();
    respond([this](const Message&) { return answer_(); });
  }
  std::function<int()> answer_ = [] { return tv::kIdCancel; };
};

TEST_F(FilesProgressTest, EmptySectionAndZeroByteFiles) {
  Recorder empty;
  start(tvtest::make_script(1, {}, {}, u""));
  EXPECT_EQ(tv::extract_files(&empty.sink), 1);
  EXPECT_EQ(empty.positions, std::vector<unsigned>{0});

  // Nothing to count, yet every file is reported (the dialog is serviced there).
  Recorder zero;
  start(tvtest::make_script(1, {}, {{u"D:\\Z\\a", ""}, {u"D:\\Z\\b", ""}, {u"D:\\Z\\c", ""}}, u""));
  EXPECT_EQ(tv::extract_files(&zero.sink), 1);
  EXPECT_GE(zero.positions.size(), 4u);
  EXPECT_EQ(zero.distinct(), 1u);
  EXPECT_EQ(zero.positions[0], 0u);
  EXPECT_TRUE(host_exists(u"D:\\Z\\c"));
}

TEST_F(FilesProgressTest, LargeFileAdvancesSliceBySlice) {
  std::string big(tv::kSliceBytes * 5 / 2, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = char(i * 7 + i / 4099);
  Recorder r;
  start(tvtest::make_script(1, {}, {{u"D:\\P\\small.txt", std::string(1000, 's')},
                                    {u"D:\\P\\big.bin", big}, {u"D:\\P\\z.txt", ""}}, u""));
  int writes = tv::posix::writes_made();
  EXPECT_EQ(tv::extract_files(&r.sink), 1);
  EXPECT_EQ(tv::posix::writes_made() - writes, 4);  // one slice, three slices
  EXPECT_TRUE(r.never_back());
  EXPECT_GE(r.distinct(), 3u);  // inside the large file too
  EXPECT_EQ(r.positions.back(), tv::kProgressFull - 1);
  EXPECT_EQ(read_host_file(u"D:\\P\\big.bin"), big);
}

TEST_F(FilesProgressTest, FailedMiddleSliceRewritesTheWholeFileOnRetry) {
  std::string big(tv::kSliceBytes * 5 / 2, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = char(i * 13 + i / 65521);
  Recorder r;
  start(tvtest::make_script(1, {}, {{u"D:\\R\\big.bin", big}, {u"D:\\R\\after.txt", "after"}}, u""));
  std::string at_prompt;
  answer_ = [&] {
    // What the failed attempt left, then a change that only a rewrite from the
    // start (a new "wb" open) undoes.
    at_prompt = read_host_file(u"D:\\R\\big.bin");
    write_host_file(u"D:\\R\\big.bin", std::string(tv::kSliceBytes * 3, 'x'));
    return tv::kIdRetry;
  };
  int writes = tv::posix::writes_made();
  tv::posix::fail_nth_write(2);
  EXPECT_EQ(tv::extract_files(&r.sink), 1);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text, u"\u65E0\u6CD5\u5199\u5165\u6587\u4EF6: D:\\R\\big.bin\n"
                               u"\u8BF7\u5148\u5173\u95EDTalvenor\uFF01");
  EXPECT_EQ(messages_[0].type, 0x15u);
  EXPECT_EQ(at_prompt, big.substr(0, tv::kSliceBytes));  // the first slice only
  EXPECT_EQ(read_host_file(u"D:\\R\\big.bin"), big);
  EXPECT_EQ(read_host_file(u"D:\\R\\after.txt"), "after");
  EXPECT_EQ(tv::posix::writes_made() - writes, 2 + 3 + 1);
  EXPECT_TRUE(r.never_back());
  EXPECT_EQ(r.positions.back(), tv::kProgressFull - 1);
}

}  // namespace
