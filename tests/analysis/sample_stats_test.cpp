#include "analysis/sample_stats.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(SampleStats, Examples) {
  struct Case {
    std::vector<std::uint64_t> samples;
    std::uint64_t min, max, mean;
    double stddev;
  };
  const Case cases[] = {
      {{}, 0, 0, 0, 0.0},
      {{1234}, 1234, 1234, 1234, 0.0},
      // The deviation is taken around the truncated integer mean.
      {{1000, 1001}, 1000, 1001, 1000, 0.7071067811865476},
      // Population deviation, unsorted input.
      {{3000, 1000, 2000}, 1000, 3000, 2000, 816.496580927726},
      // 4005 / 4, truncated.
      {{1004, 998, 1003, 1000}, 998, 1004, 1001, 2.3979157616563596},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.samples.size());
    const auto s = analysis::compute_stats(c.samples);
    EXPECT_EQ(s.count, c.samples.size());
    EXPECT_EQ(std::tie(s.min, s.max, s.mean), std::tie(c.min, c.max, c.mean));
    EXPECT_DOUBLE_EQ(s.stddev, c.stddev);
  }
}

}  // namespace
