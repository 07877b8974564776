// The UI driver's output-line escaping against its table of cases, in UTF-8 and in
// UTF-16 units (the driver's own text).
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "line_escape.h"
#include "base/text16.h"

namespace {

struct Case {
  std::string use, value, written;
};

// A column of the table with {LF}, {CR} and {TAB} turned into the characters.
std::string decode(std::string text) {
  const std::pair<const char*, char> marks[] = {{"{LF}", '\n'}, {"{CR}", '\r'}, {"{TAB}", '\t'}};
  for (const auto& mark : marks) {
    std::string name = mark.first;
    for (size_t at; (at = text.find(name)) != std::string::npos;) {
      text.replace(at, name.size(), 1, mark.second);
    }
  }
  return text;
}

std::vector<Case> read_cases() {
  std::ifstream in(TV_LINE_ESCAPE_CASES, std::ios::binary);
  EXPECT_TRUE(in) << "cannot read " << TV_LINE_ESCAPE_CASES;
  std::vector<Case> cases;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    size_t tab1 = line.find('\t'), tab2 = line.find('\t', tab1 + 1);
    bool three = tab2 != std::string::npos && line.find('\t', tab2 + 1) == std::string::npos;
    EXPECT_TRUE(three) << "not three columns: " << line;
    if (tab2 == std::string::npos) continue;
    cases.push_back({line.substr(0, tab1), decode(line.substr(tab1 + 1, tab2 - tab1 - 1)),
                     decode(line.substr(tab2 + 1))});
    EXPECT_TRUE(cases.back().use == "both" || cases.back().use == "read") << line;
  }
  return cases;
}

// Text as the driver holds it: UTF-16 units (two for a character beyond 16 bits).
std::wstring units(const std::string& utf8) {
  std::u16string u16 = tv::utf8_to_u16(utf8);
  return std::wstring(u16.begin(), u16.end());
}

TEST(LineEscape, MeetsEveryCaseOfTheTable) {
  std::vector<Case> cases = read_cases();
  ASSERT_GE(cases.size(), 10u);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.use + " [" + c.value + "] [" + c.written + "]");
    EXPECT_EQ(tv::unescape_line(c.written), c.value);
    EXPECT_EQ(tv::unescape_line(units(c.written)), units(c.value));
    if (c.use == "both") {
      EXPECT_EQ(tv::escape_line(c.value), c.written);
      EXPECT_EQ(tv::escape_line(units(c.value)), units(c.written));
    }
    // Every value, whatever it holds, goes on one line and comes back whole.
    std::string line = tv::escape_line(c.value);
    EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(tv::unescape_line(line), c.value);
  }
}

}  // namespace
