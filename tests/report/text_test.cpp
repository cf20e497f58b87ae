// Text as the report prints it: columns counted by character, cuts that
// never split one, and nothing from a file that a terminal would obey.
#include "report/text.hpp"

#include <gtest/gtest.h>

namespace {

TEST(Text, ColumnsCutsAndPrintable) {
  EXPECT_EQ(report::columns("At 500 μs: "), 11U);
  EXPECT_EQ(report::cut_to_columns("5 μs", 3), "5 μ");
  EXPECT_EQ(report::cut_to_columns("5 μs", 2), "5 ");
  EXPECT_EQ(report::cut_to_columns("μμ", 9), "μμ");
  const std::pair<std::string, std::string> shown[] = {
      {"Sleep μs → ok", "Sleep μs → ok"},
      {"\x1b]0;owned\x07", "\\x1b]0;owned\\x07"},
      {"a\nQuorvane: forged", "a\\x0aQuorvane: forged"},
      {"\x7f", "\\x7f"},
      {"\xc2\x9b"
       "31m",
       "\\u009b31m"},                       // C1 control sequence introducer
      {"\xff\xce", "\\xff\\xce"},           // not UTF-8, and a character cut short
      {"\xe0\x80\x80", "\\xe0\\x80\\x80"},  // an overlong NUL
      {"C:\\reports\\b.json", "C:\\reports\\b.json"},
  };
  for (const auto& [text, printed] : shown) {
    EXPECT_EQ(report::printable(text), printed);
  }
}

}  // namespace
