// What the frame writer and the screen library send, as the console calls the
// translation makes of it.
#include "measure/console_translation_windows.hpp"

#include <windows.h>

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

using Calls = std::vector<std::string>;

constexpr std::uint16_t kGrey = FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE;

// A console 80 columns wide showing rows 10 to 39, the cursor at column 5 of
// row 20, that records every call as text.
class RecordingSink final : public measure::ConsoleSink {
 public:
  Calls calls;
  measure::ConsoleCursor at{5, 20, 80, 10, 39};

  bool write_text(std::string_view utf8) override {
    calls.push_back("text " + std::string(utf8));
    return true;
  }
  std::optional<measure::ConsoleCursor> cursor() override { return at; }
  void move_cursor(int column, int row) override {
    calls.push_back("move " + std::to_string(column) + "," + std::to_string(row));
    at.column = column, at.row = row;
  }
  void erase_row(int row) override { calls.push_back("erase " + std::to_string(row)); }
  void set_attributes(std::uint16_t attributes) override {
    calls.push_back("attributes " + std::to_string(attributes));
  }
  void show_cursor(bool visible) override { calls.push_back(visible ? "cursor shown" : "cursor hidden"); }
  void wrap_at_end_of_line(bool wrap) override { calls.push_back(wrap ? "wrap" : "no wrap"); }
};

std::string attributes(int value) { return "attributes " + std::to_string(value); }

// `writes` through the translation, each flushed on its own.
Calls translated(const std::vector<std::string>& writes) {
  RecordingSink sink;
  measure::ConsoleTranslation translation(sink, kGrey);
  std::ostream out(&translation);
  for (const std::string& bytes : writes) {
    out << bytes << std::flush;
  }
  return sink.calls;
}

TEST(ConsoleTranslation, CursorMovesStopAtTheWindowsEdges) {
  const std::pair<std::string, Calls> cases[] = {
      {"\x1B[1A", {"move 5,19"}},  {"\x1B[A", {"move 5,19"}},                                   // no count, or 0, is 1
      {"\x1B[0A", {"move 5,19"}},  {"\x1B[3B", {"move 5,23"}},    {"\x1B[12A", {"move 5,10"}},  // the window's top row
      {"\x1B[25B", {"move 5,39"}},                                                              // its bottom row
      {"\x1B[4C", {"move 9,20"}},  {"\x1B[200C", {"move 79,20"}}, {"\x1B[2D", {"move 3,20"}},
      {"\x1B[9D", {"move 0,20"}},
  };
  for (const auto& [bytes, calls] : cases) {
    EXPECT_EQ(translated({bytes}), calls) << bytes.substr(1);
  }
}

// The frame writer's redraw: back to the first row, each row cleared on the
// way, then the rows; the NUL the screen library ends a frame with, and what
// the console has no call for, go nowhere, the text around them on; the
// cursor hidden and the wrapping off while it draws. Colours as the screen
// library writes them: a terminal's colour numbers as the console's bits,
// bold as bright, the defaults the console's own.
TEST(ConsoleTranslation, FramesAndColoursBecomeConsoleCalls) {
  const int red = FOREGROUND_RED, green = FOREGROUND_GREEN, blue = FOREGROUND_BLUE, bright = FOREGROUND_INTENSITY;
  const std::pair<Calls, Calls> cases[] = {
      {{"\r\x1B[2K\x1B[1A\x1B[2Kab\r\ncd\x1B[1A"},
       {"text \r", "erase 20", "move 5,19", "erase 19", "text ab\r\ncd", "move 5,18"}},
      {{std::string("x\0y", 3)}, {"text x", "text y"}},
      {{"a\x1B[6nb\x1B[1 qc\x1B[Kd"}, {"text a", "text b", "text c", "text d"}},
      {{"\x1B[?25l\x1B[?7l\x1B[?25h\x1B[?7h"}, {"cursor hidden", "no wrap", "cursor shown", "wrap"}},
      {{"\x1B[31m"}, {attributes(red)}},
      {{"\x1B[32m"}, {attributes(green)}},
      {{"\x1B[34m"}, {attributes(blue)}},
      {{"\x1B[36m"}, {attributes(green | blue)}},
      {{"\x1B[91m"}, {attributes(red | bright)}},
      {{"\x1B[1m"}, {attributes(kGrey | bright)}},
      {{"\x1B[1m\x1B[34m"}, {attributes(kGrey | bright), attributes(blue | bright)}},
      {{"\x1B[1;34m\x1B[22m"}, {attributes(blue | bright), attributes(blue)}},
      {{"\x1B[31m\x1B[39m"}, {attributes(red), attributes(kGrey)}},
      {{"\x1B[1;31;44m\x1B[0m"}, {attributes(red | bright | blue << 4), attributes(kGrey)}},
      {{"\x1B[41m\x1B[49m"}, {attributes(kGrey | red << 4), attributes(kGrey)}},
      {{"\x1B[7m\x1B[27m"}, {attributes(kGrey | COMMON_LVB_REVERSE_VIDEO), attributes(kGrey)}},
      {{"\x1B[4m\x1B[24m"}, {attributes(kGrey | COMMON_LVB_UNDERSCORE), attributes(kGrey)}},
      // 256 colours and true colour the console has not; what follows them counts.
      {{"\x1B[38;5;196;1m"}, {attributes(kGrey | bright)}},
      {{"\x1B[38;2;255;0;0;32m"}, {attributes(green)}},
      // A character (μ, 📊) or a sequence cut in two by a flush waits for its rest.
      {{"12\xCE", "\xBCs"}, {"text 12", "text \xCE\xBCs"}},
      {{"\xF0", "\x9F\x93", "\x8A"}, {"text \xF0\x9F\x93\x8A"}},
      {{"a\x1B", "[3", "1mb"}, {"text a", attributes(red), "text b"}},
      {{"a\x1B[1", "0Bb"}, {"text a", "move 5,30", "text b"}},
  };
  for (const auto& [writes, calls] : cases) {
    EXPECT_EQ(translated(writes), calls) << testing::PrintToString(writes);
  }
}

// More than the buffer holds at once arrives whole and in order, however the
// buffer's edge cuts the characters and sequences.
TEST(ConsoleTranslation, LongOutputArrivesWhole) {
  std::string frame = "x", expected = "x";
  for (int i = 0; i < 10'000; ++i) {  // the first edge falls inside a character
    frame += "\xCE\xBC";
    expected += "\xCE\xBC";
  }
  for (int i = 0; i < 3'000; ++i) {  // later ones inside sequences
    frame += "\x1B[32my";
    expected += "y";
  }
  std::string text;
  int cut_characters = 0;  // writes that end inside "μ"
  for (const std::string& call : translated({frame})) {
    if (call.starts_with("text ")) {
      text += call.substr(5);
      cut_characters += call.back() == '\xCE' ? 1 : 0;
    }
  }
  EXPECT_EQ(text, expected);
  EXPECT_EQ(cut_characters, 0);
}

}  // namespace
