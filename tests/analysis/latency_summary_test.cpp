#include "analysis/latency_summary.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Samples = std::vector<std::uint64_t>;

// 1 to 1000, shuffled.
Samples thousand() {
  Samples samples;
  for (std::uint64_t i = 0; i < 1000; ++i) {
    samples.push_back(1 + i * 7919 % 1000);
  }
  return samples;
}

TEST(LatencySummary, NearestRankPercentiles) {
  struct Case {
    Samples samples;
    std::uint64_t min, p50, p90, p99, p999, max, early;
    double mean, stddev;
  };
  const Case cases[] = {
      {{}, 0, 0, 0, 0, 0, 0, 0, 0.0, 0.0},
      {{1234}, 1234, 1234, 1234, 1234, 1234, 1234, 0, 1234.0, 0.0},
      // Ties: the smallest sample with at least p % at or below it, never between two.
      {{1010, 1000, 1000, 1000, 999}, 999, 1000, 1010, 1010, 1010, 1010, 1, 1001.8, 4.1182520563948},
      // p99.9 of 1000 is the 999th; every wait but the last ended early.
      {thousand(), 1, 500, 900, 990, 999, 1000, 999, 500.5, 288.6749902572095},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.samples.size());
    const auto s = analysis::summarize(c.samples);
    EXPECT_EQ(s.count, c.samples.size());
    EXPECT_EQ((Samples{s.min, s.p50, s.p90, s.p99, s.p999, s.max}),
              (Samples{c.min, c.p50, c.p90, c.p99, c.p999, c.max}));
    EXPECT_EQ(s.early, c.early);
    EXPECT_DOUBLE_EQ(s.mean, c.mean);
    EXPECT_NEAR(s.stddev, c.stddev, 1e-9);
    EXPECT_EQ(s.histogram.size(), c.samples.size() == 5 ? 3 : c.samples.size());
  }
  EXPECT_EQ(analysis::summarize(Samples{1010, 1000, 1000, 999}).histogram,
            (std::map<std::uint64_t, std::uint64_t>{{999, 1}, {1000, 2}, {1010, 1}}));
}

}  // namespace
