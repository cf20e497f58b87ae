#include "analysis/histogram_fit.hpp"

#include <gtest/gtest.h>

#include <limits>

#include "analysis/format.hpp"

namespace {

using namespace analysis;

TEST(HistogramFit, BinsRowsAndLabelsFollowTheScreen) {
  // A bin a column inside the border, at least 8; every 2nd label, every 8th past 32 bins.
  for (const auto& [width, bins, step] : {std::tuple{0, 8, 2}, {34, 32, 2}, {35, 33, 8}, {80, 78, 8}}) {
    EXPECT_EQ(bins_for_width(width), bins) << width;
    EXPECT_EQ(label_step(static_cast<std::size_t>(bins)), static_cast<std::size_t>(step)) << width;
  }
  // The chart takes the rows the other panels leave, 18 at most.
  for (const auto& [height, rows] : {std::pair{0, 0}, {12, 0}, {13, 1}, {29, 17}, {30, 18}, {60, 18}}) {
    EXPECT_EQ(chart_height(height), rows) << height;
  }
  // The fullest bin fills every row; a small one may fill none.
  EXPECT_EQ(bar_height(100, 18, 100), 18);
  EXPECT_EQ(bar_height(50, 18, 100), 9);
  EXPECT_EQ(bar_height(5, 18, 100), 0);
  EXPECT_EQ(bar_height(5, 18, 0), 0);
}

// Labels take 9 bytes with their filler, or are cut to 8, never inside the 2-byte "μ".
TEST(HistogramFit, LabelsAreCutToWholeCharacters) {
  const std::tuple<const char*, const char*, std::size_t> cuts[] = {
      {"1000μs", "1000μs", 2}, {"12345μs", "12345μs", 1}, {"123456μs", "123456μ", 0}, {"1234567μs", "1234567", 0}};
  for (const auto& [label, cut, filler] : cuts) {
    EXPECT_EQ(cut_label(label), cut);
    EXPECT_EQ(label_filler(std::string_view(label).size()), filler) << label;
  }
  for (std::uint64_t v = 1; v < std::numeric_limits<std::uint64_t>::max() / 10; v *= 10) {
    const auto label = format_microseconds(v * 5);
    const auto cut = cut_label(label);
    EXPECT_LE(cut.size(), 8U);
    EXPECT_TRUE(label.starts_with(cut));
    EXPECT_NE(cut.back(), '\xCE') << label;  // the first byte of "μ"
  }
}

}  // namespace
