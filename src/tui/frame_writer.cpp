#include "tui/frame_writer.hpp"

#include <utility>

#include <ftxui/dom/node.hpp>

namespace tui {

using ftxui::Pixel;
using ftxui::Screen;

namespace {

// Cells that look the same on the terminal.
bool same_cell(const Pixel& a, const Pixel& b) {
  return a.character == b.character && a.foreground_color == b.foreground_color &&
         a.background_color == b.background_color && a.bold == b.bold && a.dim == b.dim && a.blink == b.blink &&
         a.inverted == b.inverted && a.underlined == b.underlined && a.underlined_double == b.underlined_double &&
         a.strikethrough == b.strikethrough && a.hyperlink == b.hyperlink;
}

bool same_row(Screen& a, Screen& b, int y) {
  for (int x = 0; x < a.dimx(); ++x) {
    if (!same_cell(a.PixelAt(x, y), b.PixelAt(x, y))) {
      return false;
    }
  }
  return true;
}

}  // namespace

FrameWriter::FrameWriter(std::ostream& out) : out_(out) {}

void FrameWriter::draw(const ftxui::Element& frame, ftxui::Dimensions terminal) {
  const int width = terminal.dimx;
  const bool in_place = drawn_for(terminal);
  terminal_ = terminal;
  frame->ComputeRequirement();
  const int height = frame->requirement().min_y;
  if (next_.dimx() == width && next_.dimy() == height) {
    next_.Clear();
  } else {
    next_ = Screen(width, height);
  }
  ftxui::Render(next_, frame.get());
  if (in_place && next_.dimx() == shown_.dimx() && next_.dimy() == shown_.dimy()) {
    write_changed_rows();
  } else {
    write_all();
  }
  std::swap(shown_, next_);
}

void FrameWriter::write_all() {
  // As the screen library starts a frame of a new size: up to the first row
  // of the old one, clearing each row on the way, then every row.
  if (shown_.dimy() > 0) {
    out_ << "\x1B[1B";
  }
  out_ << shown_.ResetPosition(/*clear=*/true) << next_.ToString() << "\x1B[1A" << std::flush;
}

void FrameWriter::write_changed_rows() {
  const int rest = shown_.dimy() - 2;
  int row = rest;
  if (row_.dimx() != next_.dimx()) {
    row_ = Screen(next_.dimx(), 1);
  }
  for (int y = 0; y < next_.dimy(); ++y) {
    if (same_row(shown_, next_, y)) {
      continue;
    }
    move(row, y);
    for (int x = 0; x < next_.dimx(); ++x) {
      row_.PixelAt(x, 0) = next_.PixelAt(x, y);
    }
    out_ << '\r' << row_.ToString();
    row = y;
  }
  if (row != rest) {
    move(row, rest);
    out_ << std::flush;
  }
}

void FrameWriter::move(int from, int to) {
  if (to < from) {
    out_ << "\x1B[" << from - to << 'A';
  } else if (to > from) {
    out_ << "\x1B[" << to - from << 'B';
  }
}

void FrameWriter::erase() {
  if (shown_.dimy() > 0) {
    out_ << "\x1B[1A" << shown_.ResetPosition(/*clear=*/true) << std::flush;
  }
  forget();
}

void FrameWriter::forget() {
  shown_ = Screen(0, 0);
  terminal_ = {0, 0};
}

}  // namespace tui
