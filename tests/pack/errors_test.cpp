// The maker's one writer on stderr: every line after the maker's name, an error, a
// warning and a note each said by its word, a warning about a manifest line made one line.
#include <sstream>

#include "common/errors.h"
#include "pack_test_support.h"

namespace {

using tvpack::Said;

TEST(Told, EachKindIsSaidByItsWordOnEveryLineAfterTheMakersName) {
  const struct {
    Said kind;
    std::string what, told;
  } kCases[] = {
      {Said::kError, "\"a\" holds the name \"NUL\"", "talvenor-pack: error: \"a\" holds the name \"NUL\"\n"},
      {Said::kWarning, "\"b\" cannot be written", "talvenor-pack: warning: \"b\" cannot be written\n"},
      {Said::kNote, "this installer needs 64-bit Windows", "talvenor-pack: note: this installer needs 64-bit Windows\n"},
      {Said::kWarning, "", "talvenor-pack: warning: \n"},
      {Said::kError, "two\nlines", "talvenor-pack: error: two\ntalvenor-pack: lines\n"},
  };
  for (const auto& c : kCases) {
    std::ostringstream err;
    tvpack::tell(err, c.kind, c.what);
    EXPECT_EQ(err.str(), c.told);
    std::ostringstream by_hand;
    tvpack::tell(by_hand, tvpack::said(c.kind, c.what));
    EXPECT_EQ(by_hand.str(), c.told);
  }
}

TEST(Told, AWarningAboutAFileIsOneLineWithTheWordAfterItsPlace) {
  const struct {
    int line;
    std::string what, want;
  } kCases[] = {
      {6, "leaves {App}", "m.toml:6: warning: leaves {App}"},
      {0, "the install folder may be at most 9", "m.toml: warning: the install folder may be at most 9"},
      {3, "a\nb", "m.toml:3: warning: a\\nb"},
  };
  for (const auto& c : kCases) EXPECT_EQ(tvpack::warning_at("m.toml", c.line, c.what), c.want);
}

}  // namespace
