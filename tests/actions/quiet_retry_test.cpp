// Patience with brief locks: the rule over error and time, and the files step and the
// old-version rename meeting a lock let go soon or held on.
#include "actions/quiet_retry.h"

#include "actions/files.h"
#include "actions_fixture.h"
#include "base/file_error.h"
#include "platform/standin/standin.h"

namespace {

TEST(QuietRetry, OnlyLocksAreWaitedOutAndOnlyForASecond) {
  struct Case {
    uint32_t error;
    uint32_t elapsed;
    bool again;
  } cases[] = {
      {tv::kErrorSharingViolation, 0, true},   {tv::kErrorSharingViolation, 999, true},
      {tv::kErrorSharingViolation, 1000, false}, {tv::kErrorLockViolation, 0, true},
      {tv::kErrorLockViolation, 950, true},    {tv::kErrorLockViolation, 1001, false},
      {tv::kErrorSharingViolation, 0xFFFFFFFFu, false},  // a clock gone backwards
      {tv::kErrorAccessDenied, 0, false},      {tv::kErrorWriteProtect, 0, false},
      {tv::kErrorNotReady, 0, false},          {tv::kErrorAlreadyExists, 0, false},
      {112, 0, false},                          {0, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.error) + " after " + std::to_string(c.elapsed));
    EXPECT_EQ(tv::retry_quietly(c.error, c.elapsed), c.again);
  }
}

// The Windows errors the installer tells apart, each to its kind.
TEST(QuietRetry, ErrorsToTheirKinds) {
  struct Case {
    uint32_t error;
    tv::FileError kind;
  } cases[] = {
      {5, tv::FileError::kDenied},    {65, tv::FileError::kDenied},
      {19, tv::FileError::kReadOnly}, {21, tv::FileError::kNotReady},
      {32, tv::FileError::kLocked},   {33, tv::FileError::kLocked},
      {0, tv::FileError::kOther},     {2, tv::FileError::kOther},
      {3, tv::FileError::kOther},     {112, tv::FileError::kOther},
      {183, tv::FileError::kOther},   {1314, tv::FileError::kOther},
  };
  for (const Case& c : cases) EXPECT_EQ(tv::classify_file_error(c.error), c.kind) << c.error;
}

class QuietRetryFiles : public tvtest::ActionsTest {};

// A file held for some attempts: let go within the second (an attempt every 50 ms,
// the 21st at 1000 ms), it is written with no prompt; held longer, the retry prompt
// comes, and Retry waits the next lock out the same way. Every pause is one failed
// attempt.
TEST_F(QuietRetryFiles, ABriefLockIsWaitedOutALongOneReachesThePrompt) {
  struct Case {
    int attempts;  // the attempts the lock outlasts
    size_t prompts;
    int pauses;
    int written;  // extract_files' result: 0 after Cancel
  } cases[] = {{1, 0, 1, 1},   {6, 0, 6, 1},   {20, 0, 20, 1},
               {21, 1, 20, 1}, {41, 1, 40, 1}, {1000, 2, 40, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.attempts);
    tv::posix::clear_faults();
    messages_.clear();
    answers_ = {tv::kIdRetry};
    start(tvtest::make_script(1, {{u"{App}", u"D:\\Kesta"}}, {{u"{App}\\a.txt", "A"}}, u""));
    make_host_dir(u"D:\\Kesta");
    tv::posix::hold_path_for(u"D:\\Kesta\\a.txt", c.attempts);
    EXPECT_EQ(tv::extract_files(nullptr), c.written);
    EXPECT_EQ(messages_.size(), c.prompts);
    for (const tvtest::Message& m : messages_) EXPECT_EQ(m.caption, u"安装出错");
    EXPECT_EQ(tv::posix::pauses_made(), c.pauses);
    if (c.written != 0) {
      EXPECT_EQ(read_host_file(u"D:\\Kesta\\a.txt"), "A");
    }
  }
}

}  // namespace
