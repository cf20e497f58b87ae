// The progress line: cut to the terminal by characters, never through one,
// and not drawn at all where the terminal is not this job's.
#include "report/progress.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "report/text.hpp"

namespace {

using measure::SleepMode;

TEST(ProgressLine, CutByCharactersAndDrawnOnlyInTheForeground) {
  const std::vector<SleepMode> modes{SleepMode::Sleep, SleepMode::Hybrid};
  for (int width = 8; width <= 14; ++width) {
    std::ostringstream err;
    report::ProgressLine line(
        err, [width] { return std::optional(width); }, modes, 1000);
    line.show("At 500 μs: ", {12, 3}, std::chrono::milliseconds(2500));
    const std::string drawn = err.str().substr(1);  // after the carriage return
    EXPECT_EQ(report::columns(drawn), static_cast<std::size_t>(width - 1)) << drawn;
    EXPECT_EQ(report::printable(drawn), drawn) << "a character cut through";
  }
  std::ostringstream err;
  report::ProgressLine line(
      err, [] { return std::optional(200); }, modes, 1000);
  line.show("", {12, 3}, std::chrono::milliseconds(2500));
  EXPECT_EQ(err.str(), "\rMeasuring 1000 each: Sleep 12, Hybrid 3; 2.5 s");
  // A run of a set duration: elapsed and left, hours where there are any.
  EXPECT_EQ(report::progress_text(modes, {12, 3}, 0, 1, 62.7, false, std::chrono::minutes(3)),
            "Measuring for 3m: Sleep 12, Hybrid 3; 1:02 elapsed, 1:58 left");
  EXPECT_EQ(report::progress_text(modes, {12, 3}, 0, 2, 3723.0, true, std::chrono::hours(8)),
            "Measuring for 8h: sleep 12, hybrid 3; 1:02:03 elapsed, 6:57:57 left");
  // In two conditions, each method's count over both.
  EXPECT_EQ(report::progress_text(modes, {24, 3}, 1000, 2, 2.5, false),
            "Measuring 2 × 1000 each: Sleep 24, Hybrid 3; 2.5 s");
  std::ostringstream background;
  report::ProgressLine hidden(
      background, [] { return std::optional<int>(); }, modes, 1000);
  hidden.show("", {12, 3}, std::chrono::milliseconds(2500));
  hidden.finish(false);
  EXPECT_EQ(background.str(), "");
}

}  // namespace
