#pragma once

#include <string>
#include <string_view>

#include <ftxui/dom/elements.hpp>
#include <ftxui/dom/node.hpp>
#include <ftxui/screen/screen.hpp>

namespace testing_support {

// `element` drawn on a screen of `width` × `height` cells.
inline ftxui::Screen draw(const ftxui::Element& element, int width, int height) {
  auto screen = ftxui::Screen::Create(ftxui::Dimension::Fixed(width), ftxui::Dimension::Fixed(height));
  ftxui::Render(screen, element);
  return screen;
}

// The cells of row `y` from column `from` on, joined: what a user reads there.
inline std::string row_text(const ftxui::Screen& screen, int y, int from = 0) {
  std::string row;
  for (int x = from; x < screen.dimx(); ++x) {
    row += screen.at(x, y);
  }
  return row;
}

// The first column of row `y` at which `needle` begins, or -1.
inline int column_of(const ftxui::Screen& screen, int y, std::string_view needle) {
  for (int x = 0; x < screen.dimx(); ++x) {
    if (row_text(screen, y, x).starts_with(needle)) {
      return x;
    }
  }
  return -1;
}

}  // namespace testing_support
