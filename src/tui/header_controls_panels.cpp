// The first and last line of the frame: title and address, key legend and attribution.
#include "tui/real_time_tui.hpp"

namespace tui {

using namespace ftxui;

namespace {

// Pushes what follows it to the right edge of the frame.
Element flexible_space() { return text(" ") | flex; }

}  // namespace

Element RealTimeTUI::render_header() {
  return hbox({
      text("⏲️  Quorvane V") | bold | color(Color::Blue),
      text(QUORVANE_VERSION) | bold | color(Color::Blue),
      flexible_space(),
      text(QUORVANE_HOMEPAGE "  ") | color(Color::GrayLight),
  });
}

Element RealTimeTUI::render_controls() {
  // Each key in brackets and colour, the rest of its word plain.
  struct Entry {
    const char* key;
    Color colour;
    const char* rest;
  };
  static const Entry kLegend[] = {
      {"[M]", Color::Green, "ode  "},      {"[F]", Color::GreenLight, "ilter  "}, {"[C]", Color::Yellow, "lear  "},
      {"[S]", Color::Blue, "tart/Stop  "}, {"[↑↓]", Color::Cyan, "Timer  "},      {"[Q]", Color::Red, "uit"},
  };
  Elements line{text("🎮 Controls: ") | bold | color(Color::White)};
  for (const auto& entry : kLegend) {
    line.push_back(text(entry.key) | bold | color(entry.colour));
    line.push_back(text(entry.rest));
  }
  line.push_back(flexible_space());
  // At 80 columns, the width the frame asks for, the legend leaves 7 of the 78
  // inner cells: one for the space before the attribution, two after it.
  line.push_back(text("C++  ") | color(Color::GrayLight));
  return hbox(std::move(line));
}

}  // namespace tui
