#include "tui/frame_writer.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include <ftxui/dom/node.hpp>

namespace tui {
namespace {

using namespace ftxui;
using Rows = std::vector<std::vector<std::string>>;

// What a terminal shows after `bytes`, from `row` on: text (autowrap off, as the
// screen sets it), CR, LF, cursor up and down, clearing a line; colours change
// no text and are skipped.
void feed(Rows& rows, int& row, const std::string& bytes, std::size_t width) {
  std::size_t column = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    rows.resize(std::max(rows.size(), static_cast<std::size_t>(row) + 2), std::vector<std::string>(width, " "));
    auto& line = rows[static_cast<std::size_t>(row)];
    if (bytes[i] == '\x1B') {
      const std::size_t final = bytes.find_first_not_of("0123456789;[", i + 1);
      const int n = std::max(1, std::atoi(bytes.c_str() + i + 2));
      row += bytes[final] == 'A' ? -n : bytes[final] == 'B' ? n : 0;
      if (bytes[final] == 'K') {
        line.assign(width, " ");
      }
      i = final;
    } else if (bytes[i] == '\r' || bytes[i] == '\n') {
      column = bytes[i] == '\r' ? 0 : column;
      row += bytes[i] == '\n' ? 1 : 0;
    } else {
      const auto lead = static_cast<unsigned char>(bytes[i]);
      const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
      line[column] = bytes.substr(i, length);
      column = std::min(column + 1, width - 1);
      i += length - 1;
    }
  }
}

// The cells of `frame` laid out `width` wide, in rows of `columns`.
Rows cells_of(const Element& frame, int width, std::size_t columns) {
  frame->ComputeRequirement();
  Screen screen(width, frame->requirement().min_y);
  Render(screen, frame);
  Rows rows(static_cast<std::size_t>(screen.dimy()), std::vector<std::string>(columns, " "));
  for (int y = 0; y < screen.dimy(); ++y) {
    for (int x = 0; x < width; ++x) {
      rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] = screen.at(x, y);
    }
  }
  return rows;
}

// Frame after frame, from its first row down the terminal shows the last
// frame and blank rows; only rows that changed are sent; the cursor rests one
// row above the frame's last. Taken off after the screen's goodbye, the frame
// leaves blank rows and the cursor where it began.
TEST(FrameWriter, TheTerminalShowsTheLastFrameWhole) {
  struct Case {
    int width;
    std::vector<std::string> lines;
    Color colour;
    std::vector<std::string> sent, unsent;
  };
  std::ostringstream out;
  FrameWriter writer(out);
  Rows terminal;
  int row = 1;  // a line above the frame
  const Rows blank(40, std::vector<std::string>(24, " "));
  for (const auto& c : {
           Case{24, {"one", "two", "three"}, Color::Default, {"one", "three"}, {}},
           Case{24, {"one", "two", "three"}, Color::Default, {}, {"o", "\x1B"}},  // the same again
           Case{24, {"one", "TWO", "three"}, Color::Default, {"TWO"}, {"one", "three"}},
           Case{24, {"one", "TWO", "three"}, Color::Red, {"one", "TWO", "three"}, {}},  // colour only
           Case{24, {"one", "TWO", "three", "four"}, Color::Red, {"one", "four"}, {}},  // taller
           Case{20, {"five"}, Color::Red, {"five"}, {}},                                // shorter, narrower
       }) {
    SCOPED_TRACE(c.lines.back() + " " + std::to_string(c.width));
    out.str("");
    Element frame = vbox({});
    for (const auto& line : c.lines) {
      frame = vbox({frame, text(line) | color(c.colour)});
    }
    frame |= border;
    writer.draw(frame, {c.width, 40});
    feed(terminal, row, out.str(), 24);
    Rows expected = cells_of(frame, c.width, 24);
    expected.insert(expected.end(), blank.begin(),
                    blank.begin() + static_cast<long>(terminal.size() - 1 - expected.size()));
    EXPECT_EQ(Rows(terminal.begin() + 1, terminal.end()), expected);
    EXPECT_EQ(row, 1 + writer.height() - 2);
    for (const auto& text : c.sent) {
      EXPECT_NE(out.str().find(text), std::string::npos) << text;
    }
    for (const auto& text : c.unsent) {
      EXPECT_EQ(out.str().find(text), std::string::npos) << text;
    }
  }
  out.str("\x1B[1B\r\n");  // the screen's goodbye
  out.seekp(0, std::ios::end);
  writer.erase();
  feed(terminal, row, out.str(), 24);
  EXPECT_EQ(row, 1);
  EXPECT_EQ(Rows(terminal.begin() + 1, terminal.end()),
            Rows(blank.begin(), blank.begin() + static_cast<long>(terminal.size() - 1)));
  EXPECT_EQ(writer.height(), 0);
}

}  // namespace
}  // namespace tui
