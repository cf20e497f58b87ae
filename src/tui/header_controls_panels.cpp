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
  return hbox({
      text("🎮 Controls: ") | bold | color(Color::White),
      text("[M]") | bold | color(Color::Green),
      text("ode  "),
      text("[F]") | bold | color(Color::GreenLight),
      text("ilter  "),
      text("[C]") | bold | color(Color::Yellow),
      text("lear  "),
      text("[S]") | bold | color(Color::Blue),
      text("tart/Stop  "),
      text("[↑↓]") | bold | color(Color::Cyan),
      text("Timer  "),
      text("[Q]") | bold | color(Color::Red),
      text("uit"),
      flexible_space(),
      text("Built with FTXUI  ") | color(Color::GrayLight),
  });
}

}  // namespace tui
