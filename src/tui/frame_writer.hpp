#pragma once

#include <ostream>
#include <streambuf>

#include <ftxui/dom/elements.hpp>
#include <ftxui/screen/screen.hpp>
#include <ftxui/screen/terminal.hpp>

namespace tui {

// Puts frames on the terminal from the line the cursor starts on, as the
// screen library's terminal-output mode does, but writes only the rows that
// differ from the frame already there: while sampling, most of the frame stays
// as it was from one frame to the next.
//
// Between frames the cursor rests where the screen library leaves its own, one
// row above the frame's last, so that the library's goodbye (down a row, then
// a new line) leaves the cursor on the line below the frame.
class FrameWriter {
 public:
  explicit FrameWriter(std::ostream& out);

  // Lays `frame` out as wide as the terminal and as tall as it asks, and
  // writes it: the rows that changed, or all of them after a change of the
  // frame's or the terminal's size (a terminal that grew or shrank may have
  // moved or cut what was on it).
  void draw(const ftxui::Element& frame, ftxui::Dimensions terminal);
  // With the cursor on the line below the frame (the screen taken down), clears
  // the frame's rows and leaves the cursor where the frame began.
  void erase();
  // Nothing of ours on the terminal any more: the next frame is drawn in full
  // where the cursor stands.
  void forget();

  // A frame is on the terminal, drawn for a terminal of this size.
  bool drawn_for(ftxui::Dimensions terminal) const {
    return terminal.dimx == terminal_.dimx && terminal.dimy == terminal_.dimy;
  }
  // The size of the frame on the terminal; 0 × 0 when there is none.
  int width() const { return shown_.dimx(); }
  int height() const { return shown_.dimy(); }

 private:
  void write_all();
  void write_changed_rows();
  // Moves the cursor from row `from` to row `to` of the frame.
  void move(int from, int to);

  std::ostream& out_;
  // The terminal the frame on it was drawn for; 0 × 0 when there is none.
  ftxui::Dimensions terminal_{0, 0};
  ftxui::Screen shown_{0, 0};
  // The frame being drawn; kept to be drawn into again.
  ftxui::Screen next_{0, 0};
  // One row at a time, serialised as the screen library serialises a screen.
  ftxui::Screen row_{0, 1};
};

// While it lives, nothing written to `out` reaches the terminal: what the
// screen library would draw of its own accord (the frames are ours to write).
class Silenced {
 public:
  explicit Silenced(std::ostream& out) : out_(out), target_(out.rdbuf(&nowhere_)) {}
  Silenced(const Silenced&) = delete;
  Silenced& operator=(const Silenced&) = delete;
  ~Silenced() { out_.rdbuf(target_); }

 private:
  class Nowhere final : public std::streambuf {
   protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
  };
  // One for the program's life: a stream buffer is not cheap to make, and the
  // screen loop silences the screen about sixty times a second.
  static inline Nowhere nowhere_;

  std::ostream& out_;
  std::streambuf* const target_;
};

}  // namespace tui
