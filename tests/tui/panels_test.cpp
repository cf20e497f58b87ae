#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <numeric>
#include <string>
#include <tuple>
#include <vector>

#include <ftxui/screen/screen.hpp>

#include "support/fake_platform.hpp"
#include "support/tui_peer.hpp"
#include "tui/real_time_tui.hpp"

namespace tui {
namespace {

using ftxui::Color;
using ftxui::Screen;

Screen draw(const ftxui::Element& element, int width, int height) {
  auto screen = Screen::Create(ftxui::Dimension::Fixed(width), ftxui::Dimension::Fixed(height));
  ftxui::Render(screen, element);
  return screen;
}

// What a user reads on row `y` from column `from` on.
std::string row_text(const Screen& screen, int y, int from = 0) {
  std::string row;
  for (int x = from; x < screen.dimx(); ++x) {
    row += screen.at(x, y);
  }
  return row;
}

int column_of(const Screen& screen, int y, std::string_view text) {
  for (int x = 0; x < screen.dimx(); ++x) {
    if (row_text(screen, y, x).starts_with(text)) {
      return x;
    }
  }
  return -1;
}

// Every cell `text` covers, from column `x`, has this colour and weight; returns the column after it.
int expect_styled(const Screen& screen, int x, int y, std::string_view text, Color colour, bool bold) {
  for (std::string covered; covered.size() < text.size(); ++x) {
    covered += screen.at(x, y);
    const auto& pixel = screen.PixelAt(x, y);
    EXPECT_TRUE(pixel.foreground_color == colour && pixel.bold == bold) << text << ", cell " << x;
  }
  return x;
}

class Panels : public ::testing::Test {
 protected:
  void set_samples(std::vector<std::uint64_t> samples) {
    const std::lock_guard lock(peer.data_mutex());
    peer.sampler().samples_ = std::move(samples);
  }
  // A model as a rebuild leaves it, kept because the buffer is too short to rebuild.
  void set_model(std::vector<std::int32_t> counts, std::vector<std::string> labels) {
    set_samples({});
    peer.max_bin_count() = *std::max_element(counts.begin(), counts.end());
    peer.bin_counts() = std::move(counts);
    peer.bin_labels() = std::move(labels);
  }

  testing_support::FakePlatform platform;
  RealTimeTUI ui{platform};
  RealTimeTUITestPeer peer{ui};
};

TEST_F(Panels, TextsAndColours) {
  std::vector<std::uint64_t> samples(9, 1000);
  samples.push_back(1043);  // mean 1004.3, deviation 12.9: both shown truncated
  set_samples(samples);
  platform.current = 10'000;
  peer.query_timer_resolution();
  peer.sampling_active() = true;
  enum { kHeader, kStats, kHistogram, kControls };
  const Screen screens[] = {draw(peer.render_header(), 100, 1), draw(peer.render_stats_panel(), 120, 3),
                            draw(peer.render_histogram(80, 30), 100, 1), draw(peer.render_controls(), 110, 1)};
  EXPECT_TRUE(row_text(screens[kHeader], 0).ends_with(" " QUORVANE_HOMEPAGE "  "));
  EXPECT_TRUE(row_text(screens[kControls], 0).ends_with(" Built with FTXUI  "));

  EXPECT_TRUE(row_text(screens[kControls], 0)
                  .starts_with("🎮 Controls: [M]ode  [F]ilter  [C]lear  [S]tart/Stop  [↑↓]Timer  [Q]uit "));

  // Pieces of text drawn one after the other, each in its colour and weight.
  using enum Color::Palette16;
  using Piece = std::tuple<std::string, Color, bool>;
  const Color plain;
  const std::vector<std::tuple<int, int, std::vector<Piece>>> lines = {
      {kHeader, 0, {{"⏲️  Quorvane V", Blue, true}, {"1.0.1", Blue, true}, {" ", plain, false}}},
      {kHeader, 0, {{QUORVANE_HOMEPAGE "  ", GrayLight, false}}},
      {kStats, 0, {{"⚙️ Mode: ", GrayLight, false}, {"Sleep", Cyan, true}}},
      {kStats, 1, {{"    Min: ", Green, false}, {"1000μs", Yellow, true}}},
      {kStats, 2, {{"    Max: ", Red, false}, {"1043μs", Yellow, true}}},
      {kStats, 0, {{"  Status: ", GrayLight, false}, {"🟢 Running", Green, true}}},
      {kStats, 1, {{"📉 StdDev: ", Magenta, false}, {"12μs", Yellow, true}}},
      {kStats, 2, {{"📈    Avg: ", Yellow, false}, {"1004μs", Yellow, true}}},
      {kStats, 0, {{"⏱️ Samples: ", GrayLight, false}, {"10", Yellow, true}}},
      {kStats, 1, {{"      Range: ", Cyan, false}, {"15625-500 μs", Yellow, true}}},
      {kStats, 2, {{"    Current: ", Cyan, false}, {"1000 μs", Yellow, true}}},
      {kHistogram, 0, {{"📊 Histogram", Cyan, true}, {" - Filter [", GrayLight, false}}},
      {kHistogram, 0, {{"All", Yellow, true}, {"]", GrayLight, false}}},
      {kControls, 0, {{"🎮 Controls: ", White, true}, {"[M]", Green, true}, {"ode  ", plain, false}}},
      {kControls, 0, {{"[F]", GreenLight, true}, {"ilter  ", plain, false}}},
      {kControls, 0, {{"[C]", Yellow, true}, {"lear  ", plain, false}}},
      {kControls, 0, {{"[S]", Blue, true}, {"tart/Stop  ", plain, false}}},
      {kControls, 0, {{"[↑↓]", Cyan, true}, {"Timer  ", plain, false}}},
      {kControls, 0, {{"[Q]", Red, true}, {"uit", plain, false}}},
      {kControls, 0, {{"Built with FTXUI  ", GrayLight, false}}},
  };
  for (const auto& [panel, y, pieces] : lines) {
    std::string text;
    for (const auto& piece : pieces) {
      text += std::get<0>(piece);
    }
    SCOPED_TRACE(text);
    const Screen& screen = screens[panel];
    int x = column_of(screen, y, text);
    ASSERT_GE(x, 0) << "not on: " << row_text(screen, y);
    for (const auto& [piece, colour, bold] : pieces) {
      x = expect_styled(screen, x, y, piece, colour, bold);
    }
  }
  // The statistics columns side by side, sharing the width.
  const int status = column_of(screens[kStats], 0, "  Status: ");
  EXPECT_GT(status, 20);
  EXPECT_GT(column_of(screens[kStats], 0, "⏱️ Samples: "), status + 20);
  EXPECT_EQ(column_of(screens[kStats], 1, "📉 StdDev: "), status);

  set_samples({});
  peer.sampling_active() = false;
  peer.sampler().mode_ = static_cast<measure::SleepMode>(3);
  const auto idle = draw(peer.render_stats_panel(), 120, 3);
  EXPECT_GE(column_of(idle, 0, "⚙️ Mode: Unknown "), 0) << row_text(idle, 0);
  EXPECT_GE(column_of(idle, 0, "⏱️ Samples: 0 "), 0) << row_text(idle, 0);
  expect_styled(idle, column_of(idle, 0, "🔴"), 0, "🔴 Stopped", Red, true);
}

TEST_F(Panels, HistogramNeedsTenSamples) {
  const std::string message = "Not enough samples for histogram";
  for (const std::size_t n : {0, 9}) {
    set_samples(std::vector<std::uint64_t>(n, 1000));
    const auto screen = draw(peer.render_histogram(80, 30), 100, 2);
    EXPECT_EQ(row_text(screen, 0).find("Filter"), std::string::npos) << "no filter with the message";
    expect_styled(screen, 0, 1, message, Color::Yellow, false);
  }
  set_samples(std::vector<std::uint64_t>(10, 1000));
  EXPECT_GE(column_of(draw(peer.render_histogram(80, 30), 100, 1), 0, "Filter [All]"), 0);
  peer.handle_event(ftxui::Event::Character('c'));
  EXPECT_EQ(column_of(draw(peer.render_histogram(80, 30), 100, 2), 1, message), 0) << "after clearing";
}

TEST_F(Panels, BarsScaleToTheFullestBinAndTheScreenHeight) {
  set_model({100, 50, 5, 0, 0, 0, 0, 0}, std::vector<std::string>(8, "1000μs"));
  const auto screen = draw(peer.render_histogram(0, 30), 40, 21);
  for (const auto& [x, filled] : {std::pair{0, 18}, {1, 9}, {2, 0}}) {
    for (int y = 1; y <= 18; ++y) {
      const bool bar = y > 18 - filled;  // a bar fills the lowest rows of its column
      EXPECT_EQ(screen.at(x, y), bar ? "█" : " ") << "column " << x << ", row " << y;
      EXPECT_TRUE(!bar || screen.PixelAt(x, y).foreground_color == Color(Color::Green));
    }
  }
  EXPECT_TRUE(row_text(screen, 19).starts_with("1000μs  1000μs  ")) << "labels right under the chart";

  // The chart takes the rows the other panels leave, 18 at most.
  for (const auto& [height, rows] : {std::pair{12, 0}, {13, 1}, {29, 17}, {30, 18}, {60, 18}}) {
    const auto tall = draw(peer.render_histogram(0, height), 40, 22);
    EXPECT_TRUE(row_text(tall, rows + 1).starts_with("1000μs")) << "height " << height;
    for (int y = 1; y <= rows; ++y) {
      EXPECT_EQ(tall.at(0, y), "█") << "height " << height << ", row " << y;
    }
  }
}

TEST_F(Panels, BinsAndLabelsFollowTheScreenWidth) {
  std::vector<std::uint64_t> samples(500);
  std::iota(samples.begin(), samples.end(), 1000);
  set_samples(samples);
  // A bin a column inside the border, at least 8; every 2nd label, every 8th past 32 bins.
  for (const auto& [width, bins, step] : {std::tuple{0, 8, 2}, {34, 32, 2}, {35, 33, 8}, {80, 78, 8}}) {
    const auto screen = draw(peer.render_histogram(width, 30), 300, 20);
    ASSERT_EQ(peer.bin_labels().size(), static_cast<std::size_t>(bins)) << "width " << width;
    std::string expected;
    for (int i = 0; i < bins; i += step) {
      const auto& label = peer.bin_labels()[i];
      expected += label + std::string(9 - label.size(), ' ');  // 9 bytes a slot
    }
    const auto labels = row_text(screen, 19);
    EXPECT_TRUE(labels.starts_with(expected)) << "width " << width << ": " << labels;
    EXPECT_EQ(labels.find_first_not_of(' ', expected.size()), std::string::npos) << "width " << width;
  }

  // Long labels are cut to whole characters and get no filler.
  set_model({1, 1, 1, 1, 1, 1, 1, 1}, {"1234567μs", "x", "123456μs", "x", "12345μs", "x", "1000μs", "x"});
  const auto cut = draw(peer.render_histogram(0, 0), 60, 2);
  EXPECT_TRUE(row_text(cut, 1).starts_with("1234567123456μ12345μs 1000μs  ")) << row_text(cut, 1);
  expect_styled(cut, 0, 1, "1234567", Color::GrayLight, false);
}

}  // namespace
}  // namespace tui
