#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <numeric>
#include <string>
#include <tuple>
#include <vector>

#include "support/fake_platform.hpp"
#include "support/screen_cells.hpp"
#include "support/tui_peer.hpp"
#include "tui/real_time_tui.hpp"

namespace tui {
namespace {

using ftxui::Color;
using ftxui::Screen;
using testing_support::column_of;
using testing_support::draw;
using testing_support::FakePlatform;
using testing_support::row_text;

// Every cell that `needle` covers on row `y` has colour `colour` and the given weight.
::testing::AssertionResult styled(const Screen& screen, int y, std::string_view needle, Color colour, bool bold) {
  const int x0 = column_of(screen, y, needle);
  if (x0 < 0) {
    return ::testing::AssertionFailure() << "'" << needle << "' not on row " << y << ": " << row_text(screen, y);
  }
  std::string covered;
  for (int x = x0; covered.size() < needle.size(); ++x) {
    covered += screen.at(x, y);
    const auto& pixel = screen.PixelAt(x, y);
    if (!(pixel.foreground_color == colour) || pixel.bold != bold) {
      return ::testing::AssertionFailure()
             << "'" << needle << "': cell " << x << " ('" << screen.at(x, y) << "') has the wrong colour or weight";
    }
  }
  return ::testing::AssertionSuccess();
}

class Panels : public ::testing::Test {
 protected:
  void set_samples(std::vector<std::uint64_t> samples) {
    const std::lock_guard lock(peer.data_mutex());
    peer.sampler().samples_ = std::move(samples);
  }

  FakePlatform platform;
  RealTimeTUI ui{platform};
  RealTimeTUITestPeer peer{ui};
};

// Header and controls.

TEST_F(Panels, HeaderHasTitleVersionAndAddressAtTheRightEdge) {
  const auto screen = draw(peer.render_header(), 100, 1);
  const auto row = row_text(screen, 0);
  EXPECT_TRUE(row.starts_with("⏲️  Quorvane V1.0.1 ")) << row;
  EXPECT_TRUE(row.ends_with(QUORVANE_HOMEPAGE "  ")) << row;
  EXPECT_TRUE(styled(screen, 0, "⏲️  Quorvane V", Color::Blue, true));
  EXPECT_TRUE(styled(screen, 0, "1.0.1", Color::Blue, true));
  EXPECT_TRUE(styled(screen, 0, QUORVANE_HOMEPAGE "  ", Color::GrayLight, false));
  const auto& filler = screen.PixelAt(column_of(screen, 0, "1.0.1") + 5, 0);
  EXPECT_TRUE(filler.foreground_color == Color() && !filler.bold) << "the filler is plain";
}

TEST_F(Panels, ControlsLegendAndAttribution) {
  const auto screen = draw(peer.render_controls(), 110, 1);
  const auto row = row_text(screen, 0);
  EXPECT_TRUE(row.starts_with("🎮 Controls: [M]ode  [F]ilter  [C]lear  [S]tart/Stop  [↑↓]Timer  [Q]uit ")) << row;
  EXPECT_TRUE(row.ends_with(" Built with FTXUI  ")) << row;
  EXPECT_TRUE(styled(screen, 0, "🎮 Controls: ", Color::White, true));
  EXPECT_TRUE(styled(screen, 0, "[M]", Color::Green, true));
  EXPECT_TRUE(styled(screen, 0, "[F]", Color::GreenLight, true));
  EXPECT_TRUE(styled(screen, 0, "[C]", Color::Yellow, true));
  EXPECT_TRUE(styled(screen, 0, "[S]", Color::Blue, true));
  EXPECT_TRUE(styled(screen, 0, "[↑↓]", Color::Cyan, true));
  EXPECT_TRUE(styled(screen, 0, "[Q]", Color::Red, true));
  for (const char* plain : {"ode  ", "ilter  ", "lear  ", "tart/Stop  ", "Timer  ", "uit "}) {
    EXPECT_TRUE(styled(screen, 0, plain, Color::Default, false));
  }
  EXPECT_TRUE(styled(screen, 0, "Built with FTXUI  ", Color::GrayLight, false));
}

// Statistics.

struct StatsRow {
  int y;
  const char* label;
  Color label_colour;
  std::string value;
  Color value_colour;
};

void expect_rows(const Screen& screen, const std::vector<StatsRow>& rows) {
  for (const auto& r : rows) {
    const auto needle = std::string(r.label) + r.value;
    EXPECT_GE(column_of(screen, r.y, needle), 0) << needle << " not on: " << row_text(screen, r.y);
    EXPECT_TRUE(styled(screen, r.y, r.label, r.label_colour, false));
    EXPECT_TRUE(styled(screen, r.y, r.value, r.value_colour, true));
  }
}

TEST_F(Panels, StatisticsInThreeColumns) {
  set_samples({1000, 1025});  // mean 1012, deviation 12.5
  peer.sampling_active() = true;
  peer.max_resolution_us() = 15625;
  peer.min_resolution_us() = 500;
  peer.current_resolution_us() = 1000;
  const auto screen = draw(peer.render_stats_panel(), 120, 3);
  expect_rows(screen, {
                          {0, "⚙️ Mode: ", Color::GrayLight, "Sleep", Color::Cyan},
                          {1, "    Min: ", Color::Green, "1000μs", Color::Yellow},
                          {2, "    Max: ", Color::Red, "1025μs", Color::Yellow},
                          {0, "  Status: ", Color::GrayLight, "🟢 Running", Color::Green},
                          {1, "📉 StdDev: ", Color::Magenta, "12μs", Color::Yellow},
                          {2, "📈    Avg: ", Color::Yellow, "1012μs", Color::Yellow},
                          {0, "⏱️ Samples: ", Color::GrayLight, "2", Color::Yellow},
                          {1, "      Range: ", Color::Cyan, "15625-500 μs", Color::Yellow},
                          {2, "    Current: ", Color::Cyan, "1000 μs", Color::Yellow},
                      });
  // Columns side by side, sharing the width.
  const int status = column_of(screen, 0, "  Status: ");
  const int samples = column_of(screen, 0, "⏱️ Samples: ");
  EXPECT_GT(status, 20);
  EXPECT_GT(samples, status + 20);
  EXPECT_EQ(column_of(screen, 1, "📉 StdDev: "), status);
  EXPECT_EQ(column_of(screen, 2, "    Current: "), column_of(screen, 1, "      Range: "));
}

TEST_F(Panels, StatisticsWithNothingMeasuredAndStopped) {
  {
    const std::lock_guard lock(peer.data_mutex());
    peer.sampler().mode_ = static_cast<measure::SleepMode>(3);
  }
  const auto screen = draw(peer.render_stats_panel(), 120, 3);
  expect_rows(screen, {
                          {0, "⚙️ Mode: ", Color::GrayLight, "Unknown", Color::Cyan},
                          {1, "    Min: ", Color::Green, "0μs", Color::Yellow},
                          {2, "    Max: ", Color::Red, "0μs", Color::Yellow},
                          {0, "  Status: ", Color::GrayLight, "🔴 Stopped", Color::Red},
                          {1, "📉 StdDev: ", Color::Magenta, "0μs", Color::Yellow},
                          {2, "📈    Avg: ", Color::Yellow, "0μs", Color::Yellow},
                          {0, "⏱️ Samples: ", Color::GrayLight, "0", Color::Yellow},
                          {1, "      Range: ", Color::Cyan, "0-0 μs", Color::Yellow},
                          {2, "    Current: ", Color::Cyan, "0 μs", Color::Yellow},
                      });
}

// Histogram.

class HistogramPanel : public Panels {
 protected:
  // A model as a rebuild would leave it, for a buffer too short to rebuild it again.
  void set_model(std::vector<std::int32_t> counts, std::vector<std::string> labels) {
    peer.max_bin_count() = *std::max_element(counts.begin(), counts.end());
    peer.bin_counts() = std::move(counts);
    peer.bin_labels() = std::move(labels);
  }
};

TEST_F(HistogramPanel, MessageUntilTenSamples) {
  auto screen = draw(peer.render_histogram(80, 30), 100, 4);
  EXPECT_TRUE(styled(screen, 0, "📊 Histogram", Color::Cyan, true));
  EXPECT_TRUE(row_text(screen, 0).starts_with("📊 Histogram ")) << "no filter title with the message";
  EXPECT_TRUE(styled(screen, 1, "Not enough samples for histogram", Color::Yellow, false));
  EXPECT_EQ(peer.bin_counts(), std::vector<std::int32_t>(78, 0));

  set_samples(std::vector<std::uint64_t>(9, 1000));
  screen = draw(peer.render_histogram(80, 30), 100, 4);
  EXPECT_GE(column_of(screen, 1, "Not enough samples for histogram"), 0);
  EXPECT_TRUE(peer.bin_labels().empty());

  set_samples(std::vector<std::uint64_t>(10, 1000));
  screen = draw(peer.render_histogram(80, 30), 100, 25);
  EXPECT_TRUE(row_text(screen, 0).starts_with("📊 Histogram - Filter [All]"));
  EXPECT_EQ(peer.max_bin_count(), 10);
  EXPECT_EQ(peer.bin_labels().size(), 78U);
}

TEST_F(HistogramPanel, ShortBufferKeepsThePreviousModel) {
  set_samples(std::vector<std::uint64_t>(10, 1000));
  peer.render_histogram(34, 30);
  const auto labels = peer.bin_labels();
  set_samples(std::vector<std::uint64_t>(9, 1000));
  peer.render_histogram(35, 30);
  EXPECT_EQ(peer.bin_count(), 33);
  EXPECT_EQ(peer.bin_counts(), std::vector<std::int32_t>(33, 0));
  EXPECT_EQ(peer.bin_labels(), labels);
  EXPECT_EQ(peer.max_bin_count(), 10);
}

TEST_F(HistogramPanel, ClearedModelShowsTheMessage) {
  set_samples(std::vector<std::uint64_t>(50, 1000));
  peer.render_histogram(80, 30);
  peer.clear_data();
  const auto screen = draw(peer.render_histogram(80, 30), 100, 4);
  EXPECT_GE(column_of(screen, 1, "Not enough samples for histogram"), 0);
}

TEST_F(HistogramPanel, TitleNamesTheFilter) {
  set_samples(std::vector<std::uint64_t>(10, 1000));
  for (const auto& [filter, name] : {std::pair{0, "All"}, {1, "IQR"}, {2, "2σ"}}) {
    peer.filter_mode() = filter;
    const auto screen = draw(peer.render_histogram(80, 30), 100, 1);
    EXPECT_TRUE(row_text(screen, 0).starts_with(std::string("📊 Histogram - Filter [") + name + "] ")) << name;
    EXPECT_TRUE(styled(screen, 0, "📊 Histogram", Color::Cyan, true));
    EXPECT_TRUE(styled(screen, 0, " - Filter [", Color::GrayLight, false));
    EXPECT_TRUE(styled(screen, 0, name, Color::Yellow, true));
    EXPECT_TRUE(styled(screen, 0, "]", Color::GrayLight, false));
  }
}

TEST_F(HistogramPanel, BarsScaleToTheFullestBin) {
  set_model({100, 50, 5, 0, 0, 0, 0, 0}, std::vector<std::string>(8, "1000μs"));
  const auto screen = draw(peer.render_histogram(0, 30), 40, 21);
  int filled[3] = {0, 0, 0};
  for (int y = 1; y <= 18; ++y) {
    for (int x = 0; x < 3; ++x) {
      if (screen.at(x, y) == "█") {
        ++filled[x];
        EXPECT_TRUE(screen.PixelAt(x, y).foreground_color == Color(Color::Green));
        // A bar fills the lowest rows of its column.
        EXPECT_TRUE(y == 18 || screen.at(x, y + 1) == "█") << "gap under row " << y << " of column " << x;
      } else {
        EXPECT_EQ(screen.at(x, y), " ");
      }
    }
  }
  EXPECT_EQ(filled[0], 18);
  EXPECT_EQ(filled[1], 9);
  EXPECT_EQ(filled[2], 0);
  EXPECT_TRUE(row_text(screen, 19).starts_with("1000μs  1000μs  ")) << "labels right under the chart";
}

TEST_F(HistogramPanel, ChartHeightFollowsTheScreenHeight) {
  for (const auto& [height, rows] : {std::pair{12, 0}, {13, 1}, {29, 17}, {30, 18}, {60, 18}}) {
    set_model({7, 1, 0, 0, 0, 0, 0, 0}, std::vector<std::string>(8, "1000μs"));
    const auto screen = draw(peer.render_histogram(0, height), 40, 22);
    EXPECT_TRUE(row_text(screen, rows + 1).starts_with("1000μs")) << "height " << height;
    for (int y = 1; y <= rows; ++y) {
      EXPECT_EQ(screen.at(0, y), "█") << "height " << height << ", row " << y;
    }
    EXPECT_EQ(row_text(screen, rows + 2).find_first_not_of(' '), std::string::npos) << "height " << height;
  }
}

TEST_F(HistogramPanel, BinsAndLabelStepFollowTheScreenWidth) {
  std::vector<std::uint64_t> samples(500);
  std::iota(samples.begin(), samples.end(), 1000);
  set_samples(samples);
  for (const auto& [width, bins, step] : {std::tuple{0, 8, 2}, {34, 32, 2}, {35, 33, 8}, {80, 78, 8}}) {
    const auto screen = draw(peer.render_histogram(width, 30), 300, 20);
    EXPECT_EQ(peer.bin_count(), bins);
    ASSERT_EQ(peer.bin_labels().size(), static_cast<std::size_t>(bins));
    std::string expected;
    for (int i = 0; i < bins; i += step) {
      const auto& label = peer.bin_labels()[i];
      expected += label + std::string(label.size() < 9 ? 9 - label.size() : 0, ' ');
    }
    const auto labels = row_text(screen, 19);
    EXPECT_TRUE(labels.starts_with(expected)) << "width " << width << ": " << labels;
    EXPECT_EQ(labels.find_first_not_of(' ', expected.size()), std::string::npos) << "width " << width;
  }
}

TEST_F(HistogramPanel, LabelsAreCutToWholeCharactersAndFilledByBytes) {
  set_model({1, 1, 1, 1, 1, 1, 1, 1}, {"1234567μs", "x", "12345μs", "x", "123456μs", "x", "1000μs", "x"});
  const auto screen = draw(peer.render_histogram(0, 0), 60, 2);
  // 10 bytes → 7 digits, no filler; 8 bytes → 1 space; 9 bytes → cut after the mu; 7 bytes → 2 spaces.
  EXPECT_TRUE(
      row_text(screen, 1).starts_with("1234567"
                                      "12345μs "
                                      "123456μ"
                                      "1000μs  "))
      << row_text(screen, 1);
  EXPECT_TRUE(styled(screen, 1, "1234567", Color::GrayLight, false));
  EXPECT_TRUE(styled(screen, 1, "12345μs", Color::GrayLight, false));
  EXPECT_FALSE(styled(screen, 1, "s ", Color::GrayLight, false)) << "fillers are plain";
}

}  // namespace
}  // namespace tui
