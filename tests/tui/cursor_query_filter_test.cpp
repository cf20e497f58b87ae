#include "tui/cursor_query_filter.hpp"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// Cursor-position queries go nowhere, in one piece or split across writes;
// every other byte, escapes included, goes out in order.
TEST(CursorQueryFilter, DropsOnlyCursorQueries) {
  std::ostringstream out;
  {
    const tui::CursorQueryFilter filter(out);
    out << "frame\x1B[32mgreen\x1B[6n\x1B[1A" << '\x1B' << "[6"
        << "n\x1B\x1B[6x\x1B[";
  }
  EXPECT_EQ(out.str(), "frame\x1B[32mgreen\x1B[1A\x1B\x1B[6x\x1B[");
  out << "after";  // its own buffer again
  EXPECT_EQ(out.str().substr(out.str().size() - 5), "after");
}

}  // namespace
