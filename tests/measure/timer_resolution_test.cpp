#include "measure/timer_resolution.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace {

constexpr std::uint32_t kMax = std::numeric_limits<std::uint32_t>::max();

TEST(TimerResolution, StepsStopAt0AndSaturate) {
  struct Case {
    std::uint32_t current;
    std::int32_t step;
    std::uint32_t stepped;
  };
  for (const auto& c : {Case{500, 1, 501}, Case{500, -1, 499}, Case{15'625, -100, 15'525}, Case{1, -1, 0},
                        Case{50, -100, 0}, Case{kMax - 50, 100, kMax}, Case{kMax, 1, kMax}}) {
    EXPECT_EQ(measure::step_resolution(c.current, c.step), c.stepped) << c.current << " " << c.step;
  }
}

}  // namespace
