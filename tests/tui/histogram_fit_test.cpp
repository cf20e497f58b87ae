#include "tui/histogram_fit.hpp"

#include <gtest/gtest.h>

#include <string_view>
#include <tuple>

namespace {

using namespace tui;

// A bin a column inside the border, never fewer than 8; every 2nd label up to
// 32 bins, every 8th past them; the other panels take 12 rows, the chart the
// rest, 18 at most.
TEST(HistogramFit, SizesFollowTheTerminal) {
  for (const auto& [width, bins] : {std::pair{0, 8}, {9, 8}, {10, 8}, {11, 9}, {80, 78}, {200, 198}}) {
    EXPECT_EQ(bins_for_width(width), bins) << width;
  }
  for (const auto& [labels, step] : {std::pair{0U, 2U}, {8U, 2U}, {32U, 2U}, {33U, 8U}, {78U, 8U}}) {
    EXPECT_EQ(label_step(labels), step) << labels;
  }
  for (const auto& [height, rows] : {std::pair{-5, 0}, {0, 0}, {12, 0}, {13, 1}, {29, 17}, {30, 18}, {60, 18}}) {
    EXPECT_EQ(chart_height(height), rows) << height;
  }
}

// The fullest bin fills every row; the others their share, rounded down, so a
// bar never outgrows a fuller one.
TEST(HistogramFit, BarsAreTheirShareOfTheFullest) {
  const std::tuple<int, int, int, int> bars[] = {{10, 18, 10, 18}, {5, 18, 10, 9}, {3, 18, 7, 7}, {1, 18, 10, 1},
                                                 {1, 18, 19, 0},   {0, 18, 10, 0}, {4, 18, 0, 0}, {7, 0, 10, 0}};
  for (const auto& [count, rows, max_count, height] : bars) {
    EXPECT_EQ(bar_height(count, rows, max_count), height) << count << " of " << max_count << " in " << rows;
  }
}

// Labels take 9 bytes with their filler, or are cut to 8, never inside a
// character ("μ" takes 2 bytes, "📊" 4).
TEST(HistogramFit, LabelsFitTheirSlots) {
  const std::tuple<const char*, const char*, unsigned> labels[] = {
      {"1000μs", "1000μs", 2U},    {"12345678", "12345678", 1U}, {"12345μs", "12345μs", 1U},
      {"123456μs", "123456μ", 0U}, {"1234567μs", "1234567", 0U}, {"123456📊", "123456", 0U}};
  for (const auto& [label, cut, filler] : labels) {
    EXPECT_EQ(cut_label(label), cut) << label;
    EXPECT_EQ(label_filler(std::string_view(label).size()), filler) << label;
  }
}

}  // namespace
