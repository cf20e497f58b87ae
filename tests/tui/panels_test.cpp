// The frame as the user sees it: its text and the colour and weight of each
// cell, compared with golden copies (QUORVANE_UPDATE_GOLDEN=1 rewrites them).
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <ftxui/screen/screen.hpp>

#include "tui/panels.hpp"
#include "tui/snapshot.hpp"

namespace tui {
namespace {

using ftxui::Color;
using enum measure::SleepMode;
using enum analysis::HistogramFilter;

// One letter a colour, a capital for bold; '.' for the default colour, '#' for
// it in bold.
char style_of(const ftxui::Pixel& pixel) {
  char letter = pixel.foreground_color == Color() ? '.' : '?';
  for (int i = 0; i < 16; ++i) {  // Red, Green, Yellow, Blue, Magenta, Cyan, GrayLight, GreenLight, White
    letter = pixel.foreground_color == Color(static_cast<Color::Palette16>(i)) ? "?rgybmcl??e????w"[i] : letter;
  }
  return pixel.bold ? (letter == '.' ? '#' : static_cast<char>(std::toupper(letter))) : letter;
}

// Uncoloured: compared with the golden styles with every colour taken out.
void expect_golden(const std::string& name, const std::string& actual, bool uncoloured = false) {
  const std::string path = std::string(QUORVANE_TESTS_DIR "/tui/golden/") + name;
  if (std::getenv("QUORVANE_UPDATE_GOLDEN") != nullptr && !uncoloured) {
    std::ofstream(path, std::ios::binary) << actual;
  }
  std::stringstream expected;
  expected << std::ifstream(path, std::ios::binary).rdbuf();
  std::string wanted = expected.str();
  for (char& c : wanted) {
    c = !uncoloured ? c : std::isupper(c) ? '#' : std::islower(c) ? '.' : c;
  }
  EXPECT_EQ(actual, wanted) << "golden " << path;
}

// The frame of `inputs` drawn at their size: its text and its styles, a row a line.
std::pair<std::string, std::string> drawn(const FrameInputs& inputs, bool coloured) {
  auto screen = ftxui::Screen(inputs.width, inputs.height);
  ftxui::Render(screen, render_frame(make_snapshot(inputs), coloured));
  std::string text, styles;
  for (int y = 0; y < inputs.height; ++y) {
    for (int x = 0; x < inputs.width; ++x) {
      text += screen.at(x, y);
      styles += style_of(screen.PixelAt(x, y));
    }
    text += '\n', styles += '\n';
  }
  return {text, styles};
}

void expect_frame(const FrameInputs& inputs, const std::string& name, bool uncoloured = false) {
  const auto [text, styles] = drawn(inputs, !uncoloured);
  expect_golden(name + ".txt", text);
  expect_golden(name + ".styles", styles, uncoloured);
}

// With NO_COLOR too: the same frame, bold where it was, no colour anywhere.
TEST(Panels, FrameWhileSampling) {
  // A spread like a loaded machine's, with a tail; σ and mean are truncated.
  std::vector<std::uint64_t> samples;
  for (std::uint64_t i = 0; i < 500; ++i) {
    samples.push_back(1000 + i * i * 7 % 61 + (i % 50 == 0 ? 300 : 0));
  }
  for (const bool no_colour : {false, true}) {
    expect_frame({samples, Sleep, true, {15'625, 500, 1'000}, All, 80, 18, 18, ""}, "sampling", no_colour);
  }
}

// Before the first reading of the resolution, stopped, too few samples for a
// histogram, and a method the interface does not know.
TEST(Panels, FrameStoppedWithTooFewSamples) {
  const std::vector<std::uint64_t> samples(9, 1000);
  expect_frame({samples, static_cast<measure::SleepMode>(99), false, {}, All, 80, 12, 12, ""}, "stopped");
}

// Started in choices of its own, the Mode field names them after the method.
TEST(Panels, ModeFieldNamesTheChoices) {
  const std::vector<std::uint64_t> samples(9, 500);
  const std::string text = drawn({samples, Hybrid, true, {}, All, 100, 12, 12, "500 μs, normal"}, false).first;
  EXPECT_NE(text.find("Mode: Hybrid 500 μs, normal "), std::string::npos) << text;
}

}  // namespace
}  // namespace tui
