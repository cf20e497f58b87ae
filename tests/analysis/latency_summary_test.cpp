#include "analysis/latency_summary.hpp"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace {

using Samples = std::vector<std::uint64_t>;

TEST(LatencySummary, NearestRankPercentiles) {
  Samples thousand(1000);  // 1000 down to 1
  std::iota(thousand.rbegin(), thousand.rend(), 1);
  struct Case {
    Samples samples;
    Samples expected;  // count, min, p50, p90, p99, p99.9, max, early
    double mean, stddev;
  };
  const Case cases[] = {
      {{}, {0, 0, 0, 0, 0, 0, 0, 0}, 0.0, 0.0},
      {{1234}, {1, 1234, 1234, 1234, 1234, 1234, 1234, 0}, 1234.0, 0.0},
      // Ties: the smallest sample with at least p % at or below it, never between two.
      {{1010, 1000, 1000, 1000, 999}, {5, 999, 1000, 1010, 1010, 1010, 1010, 1}, 1001.8, 4.1182520563948},
      // p99.9 of 1000 is the 999th; every wait but the last ended early.
      {thousand, {1000, 1, 500, 900, 990, 999, 1000, 999}, 500.5, 288.6749902572095},
  };
  for (const auto& c : cases) {
    const auto s = analysis::summarize(c.samples);
    EXPECT_EQ((Samples{s.count, s.min, s.p50, s.p90, s.p99, s.p999, s.max, s.early}), c.expected);
    EXPECT_DOUBLE_EQ(s.mean, c.mean);
    EXPECT_NEAR(s.stddev, c.stddev, 1e-9);
  }
  EXPECT_EQ(analysis::summarize(Samples{1010, 1000, 1000, 999}).histogram,
            (std::map<std::uint64_t, std::uint64_t>{{999, 1}, {1000, 2}, {1010, 1}}));
}

}  // namespace
