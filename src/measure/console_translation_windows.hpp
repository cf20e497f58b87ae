#pragma once

// A terminal's output turned into a Windows console's own calls: the text as
// UTF-8, its control sequences (cursor movement, line clearing, colours,
// weight, cursor visibility, line wrapping) as calls. The C runtime's path
// hands some consoles the bytes in a way they show as mojibake; and wine's
// console, even with virtual-terminal processing on, stores a sequence's bytes
// as characters of the line (which then overflows) and moves no cursor for it,
// so the frame would pile up.
#include <cstdint>
#include <optional>
#include <streambuf>
#include <string_view>

namespace measure {

// Where the console's cursor stands, and the edges it stops at: the screen
// buffer's columns, the visible window's first and last rows.
struct ConsoleCursor {
  int column = 0;
  int row = 0;
  int columns = 0;
  int top = 0;
  int bottom = 0;
};

// The console calls the translation makes; attributes are the console's
// (FOREGROUND_RED and its kin).
class ConsoleSink {
 public:
  virtual ~ConsoleSink() = default;
  // Writes whole UTF-8 characters at the cursor; false when the console failed.
  virtual bool write_text(std::string_view utf8) = 0;
  // Nothing when the console will not say.
  virtual std::optional<ConsoleCursor> cursor() = 0;
  virtual void move_cursor(int column, int row) = 0;
  // Blanks the whole of `row` in the attributes in use.
  virtual void erase_row(int row) = 0;
  virtual void set_attributes(std::uint16_t attributes) = 0;
  virtual void show_cursor(bool visible) = 0;
  virtual void wrap_at_end_of_line(bool wrap) = 0;
};

// A stream buffer that sends what is written to it to `sink`, translated. A
// character or a control sequence cut in two by a flush waits for its rest.
// `default_attributes` are the console's own colours, which SGR 0, 39 and 49
// bring back.
class ConsoleTranslation final : public std::streambuf {
 public:
  ConsoleTranslation(ConsoleSink& sink, std::uint16_t default_attributes);

 protected:
  int_type overflow(int_type c) override;
  int sync() override;

 private:
  // Select Graphic Rendition, as far as the console's attributes go.
  void select_rendition(std::string_view parameters);
  // One control sequence, by its final byte.
  void apply(char final, std::string_view parameters);
  void move(char direction, std::string_view parameters);
  bool write(const char* from, const char* to);

  ConsoleSink& sink_;
  const std::uint16_t default_attributes_;
  // The rendition selected: colours as a terminal numbers them (-1: the
  // default), weight, inversion, underline.
  int foreground_ = -1;
  int background_ = -1;
  bool bold_ = false;
  bool reverse_ = false;
  bool underline_ = false;
  char buffer_[8192];
};

}  // namespace measure
