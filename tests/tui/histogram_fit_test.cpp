#include "tui/histogram_fit.hpp"

#include <gtest/gtest.h>

#include <limits>

#include "analysis/format.hpp"

namespace {

using namespace tui;
using analysis::format_microseconds;

// A bin a column inside the border, at least 8; every 2nd label, every 8th
// past 32 bins; the chart takes the rows the other panels leave, 18 at most.
TEST(HistogramFit, BinsRowsAndLabelsFollowTheScreen) {
  for (const auto& [width, bins, step] : {std::tuple{0, 8, 2U}, {34, 32, 2U}, {35, 33, 8U}, {80, 78, 8U}}) {
    EXPECT_TRUE(bins_for_width(width) == bins && label_step(static_cast<std::size_t>(bins)) == step) << width;
  }
  for (const auto& [height, rows] : {std::pair{0, 0}, {12, 0}, {13, 1}, {29, 17}, {30, 18}, {60, 18}}) {
    EXPECT_EQ(chart_height(height), rows) << height;
  }
  // Labels take 9 bytes with their filler, or are cut to 8, never inside the 2-byte "μ".
  for (const auto& [label, cut, filler] : {std::tuple{"1000μs", "1000μs", 2U},
                                           {"12345μs", "12345μs", 1U},
                                           {"123456μs", "123456μ", 0U},
                                           {"1234567μs", "1234567", 0U}}) {
    EXPECT_EQ(cut_label(label), cut);
    EXPECT_EQ(label_filler(std::string_view(label).size()), filler) << label;
  }
  for (std::uint64_t v = 5; v < std::numeric_limits<std::uint64_t>::max() / 10; v *= 10) {
    const auto label = format_microseconds(v);
    EXPECT_TRUE(label.starts_with(cut_label(label)) && cut_label(label).size() <= 8);
    EXPECT_NE(cut_label(label).back(), '\xCE') << label;  // the first byte of "μ"
  }
}

}  // namespace
