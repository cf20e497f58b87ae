#include "analysis/sample_stats.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(SampleStats, Examples) {
  struct Case {
    std::vector<std::uint64_t> samples;
    std::int64_t frequency;
    std::uint64_t min, max, mean, median;
    double stddev, us_per_tick;
  };
  const Case cases[] = {
      {{}, 10'000'000, 0, 0, 0, 0, 0.0, 0.0},  // empty: all zero whatever the frequency
      {{1234}, 10'000'000, 1234, 1234, 1234, 1234, 0.0, 0.1},
      // The deviation is taken around the truncated integer mean.
      {{1000, 1001}, 1'000'000'000, 1000, 1001, 1000, 1000, 0.7071067811865476, 0.001},
      // Population deviation, unsorted input, frequency 0.
      {{3000, 1000, 2000}, 0, 1000, 3000, 2000, 2000, 816.496580927726, 0.0},
      // Even count: 4005 / 4 and (1000 + 1003) / 2, both truncated.
      {{1004, 998, 1003, 1000}, 10'000'000, 998, 1004, 1001, 1001, 2.3979157616563596, 0.1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.samples.size());
    const auto s = analysis::compute_stats(c.samples, c.frequency);
    EXPECT_EQ(s.count, c.samples.size());
    EXPECT_EQ(std::tie(s.min, s.max, s.mean, s.median), std::tie(c.min, c.max, c.mean, c.median));
    EXPECT_DOUBLE_EQ(s.stddev, c.stddev);
    EXPECT_DOUBLE_EQ(s.us_per_tick, c.us_per_tick);
  }
}

}  // namespace
