#include "tui/frame_writer.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include <ftxui/dom/node.hpp>

namespace tui {
namespace {

using namespace ftxui;

// A terminal that knows what the writer sends it: text (autowrap off, as the
// screen sets it), CR, LF, cursor up and down, and clearing a line; colours
// change no text and are skipped. It starts with one line above the frame.
struct Terminal {
  std::vector<std::vector<std::string>> rows;
  int width, row = 1, column = 0;

  explicit Terminal(int w) : rows(2, std::vector<std::string>(static_cast<std::size_t>(w), " ")), width(w) {}

  void feed(const std::string& bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
      if (bytes[i] == '\x1B') {
        const std::size_t final = bytes.find_first_not_of("0123456789;[", i + 1);
        const int n = std::max(1, std::atoi(bytes.c_str() + i + 2));
        row = bytes[final] == 'A' ? std::max(0, row - n) : bytes[final] == 'B' ? row + n : row;
        if (bytes[final] == 'K') {
          line().assign(static_cast<std::size_t>(width), " ");
        }
        i = final + 1;
      } else if (bytes[i] == '\r' || bytes[i] == '\n') {
        (bytes[i] == '\r' ? column : row) = bytes[i] == '\r' ? 0 : row + 1;
        ++i;
      } else {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        line()[static_cast<std::size_t>(column)] = bytes.substr(i, length);
        column = std::min(column + 1, width - 1);
        i += length;
      }
    }
  }
  std::vector<std::string>& line() {
    rows.resize(std::max(rows.size(), static_cast<std::size_t>(row) + 1),
                std::vector<std::string>(static_cast<std::size_t>(width), " "));
    return rows[static_cast<std::size_t>(row)];
  }
  // The rows below the line above the frame.
  std::vector<std::string> shown() {
    line();
    std::vector<std::string> shown;
    for (std::size_t y = 1; y < rows.size(); ++y) {
      shown.emplace_back();
      for (const auto& cell : rows[y]) {
        shown.back() += cell;
      }
    }
    return shown;
  }
};

Element frame_of(const std::vector<std::string>& lines, Color colour = Color::Default) {
  Elements rows;
  for (const auto& line : lines) {
    rows.push_back(text(line) | color(colour));
  }
  return vbox(std::move(rows)) | border;
}

// The rows of `frame` laid out `width` wide, padded to `columns`, then blank
// rows up to `rows` in all.
std::vector<std::string> rows_of(const Element& frame, int width, int columns, std::size_t rows) {
  frame->ComputeRequirement();
  Screen screen(width, frame->requirement().min_y);
  Render(screen, frame);
  std::vector<std::string> all(rows, std::string(static_cast<std::size_t>(columns), ' '));
  for (int y = 0; y < screen.dimy(); ++y) {
    auto& line = all[static_cast<std::size_t>(y)];
    line.clear();
    for (int x = 0; x < columns; ++x) {
      line += x < width ? screen.at(x, y) : " ";
    }
  }
  return all;
}

// Frame after frame, what the terminal shows is the last frame, whole, with
// nothing below it; only rows that changed are sent; the cursor rests one row
// above the frame's last. Taken off after the screen's goodbye, the frame
// leaves blank rows and the cursor where it began.
TEST(FrameWriter, TheTerminalShowsTheLastFrameWhole) {
  struct Case {
    const char* what;
    int width;
    std::vector<std::string> lines;
    Color colour;
    std::vector<std::string> sent, not_sent;  // texts that must, or must not, be written
  };
  std::ostringstream out;
  FrameWriter writer(out);
  Terminal terminal(24);
  for (const auto& c : {
           Case{"first", 24, {"one", "two", "three"}, Color::Default, {"one", "three"}, {}},
           Case{"same again", 24, {"one", "two", "three"}, Color::Default, {}, {"o", "\x1B"}},
           Case{"one row", 24, {"one", "TWO", "three"}, Color::Default, {"TWO"}, {"one", "three"}},
           Case{"colour only", 24, {"one", "TWO", "three"}, Color::Red, {"one", "TWO", "three"}, {}},
           Case{"taller", 24, {"one", "TWO", "three", "four"}, Color::Red, {"one", "four"}, {}},
           Case{"shorter, narrower", 20, {"five"}, Color::Red, {"five"}, {}},
       }) {
    SCOPED_TRACE(c.what);
    out.str("");
    const Element frame = frame_of(c.lines, c.colour);
    writer.draw(frame, c.width);
    terminal.feed(out.str());
    const auto shown = terminal.shown();
    EXPECT_EQ(shown, rows_of(frame, c.width, terminal.width, shown.size()));
    EXPECT_EQ(terminal.row, 1 + writer.height() - 2);
    for (const auto& sent : c.sent) {
      EXPECT_NE(out.str().find(sent), std::string::npos) << sent;
    }
    for (const auto& not_sent : c.not_sent) {
      EXPECT_EQ(out.str().find(not_sent), std::string::npos) << not_sent;
    }
  }
  terminal.feed("\x1B[1B\r\n");  // the screen's goodbye
  out.str("");
  writer.erase();
  terminal.feed(out.str());
  EXPECT_EQ(terminal.row, 1);
  for (const auto& line : terminal.shown()) {
    EXPECT_EQ(line.find_first_not_of(' '), std::string::npos) << line;
  }
  EXPECT_EQ(writer.height(), 0);
}

}  // namespace
}  // namespace tui
