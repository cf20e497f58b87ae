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
    std::uint64_t interval;
    Samples expected;  // count, min, p50, p90, p99, p99.9, max, early
    double mean, stddev;
  };
  const Case cases[] = {
      {{}, 1000, {0, 0, 0, 0, 0, 0, 0, 0}, 0.0, 0.0},
      {{1234}, 2000, {1, 1234, 1234, 1234, 1234, 1234, 1234, 1}, 1234.0, 0.0},
      // Ties: the smallest sample with at least p % at or below it, never between two.
      {{1010, 1000, 1000, 1000, 999}, 1000, {5, 999, 1000, 1010, 1010, 1010, 1010, 1}, 1001.8, 4.1182520563948},
      // p99.9 of 1000 is the 999th; every wait but the last ended early.
      {thousand, 1000, {1000, 1, 500, 900, 990, 999, 1000, 999}, 500.5, 288.6749902572095},
  };
  for (const auto& c : cases) {
    const auto s = analysis::summarize(c.samples, c.interval);
    EXPECT_EQ((Samples{s.count, s.min, s.p50, s.p90, s.p99, s.p999, s.max, s.early}), c.expected);
    std::vector<analysis::Bin> bins;
    for (const auto& [value, count] : s.histogram) {
      bins.push_back({value, count});
    }
    for (const auto& [permille, p] : {std::pair{500U, s.p50}, {900U, s.p90}, {990U, s.p99}, {999U, s.p999}}) {
      EXPECT_EQ(analysis::nearest_rank_of_bins(bins, permille, 1000).value_or(0), p) << "of bins, " << permille;
    }
    EXPECT_DOUBLE_EQ(s.mean, c.mean);
    EXPECT_NEAR(s.stddev, c.stddev, 1e-9);
  }
  EXPECT_EQ(analysis::summarize(Samples{1010, 1000, 1000, 999}, 1000).histogram,
            (std::map<std::uint64_t, std::uint64_t>{{999, 1}, {1000, 2}, {1010, 1}}));
}

// A percentile is thin when fewer than ten waits lie beyond its rank.
TEST(LatencySummary, ThinPercentiles) {
  struct Case {
    std::uint64_t count;
    std::uint32_t permille;
    std::uint64_t beyond;
    bool thin;
  };
  for (const auto& c : {Case{2000, 999, 2, true}, Case{2000, 990, 20, false}, Case{1000, 990, 10, false},
                        Case{999, 990, 9, true}, Case{10000, 999, 10, false}, Case{20, 500, 10, false},
                        Case{19, 500, 9, true}, Case{1, 500, 0, true}, Case{0, 999, 0, false}}) {
    EXPECT_EQ(analysis::waits_beyond(c.count, c.permille), c.beyond) << c.count << " " << c.permille;
    EXPECT_EQ(analysis::thin(c.count, c.permille), c.thin) << c.count << " " << c.permille;
  }
}

// From a histogram (a saved report's), percentiles finer than a permille, as
// the summary's nearest ranks (whose own are read from it in its test).
TEST(LatencySummary, NearestRankOfBins) {
  struct Case {
    std::vector<analysis::Bin> bins;
    std::uint64_t parts, whole;
    std::optional<std::uint64_t> expected;
  };
  const Case cases[] = {
      // p99.99 of 10002 samples is the 10001st: the last but one.
      {{{1, 10'000}, {2, 1}, {3, 1}}, 9999, 10000, 2},
      {{{5, 300}}, 9999, 10000, 5},
      {{{1, 9999}, {2, 1}}, 9999, 10000, 1},
      {{{1, 9998}, {2, 2}}, 9999, 10000, 2},
      {{{1, 1}, {9, 1}}, 0, 10000, 1},
      {{}, 5, 10, std::nullopt},
      {{{1, 0}, {2, 0}}, 5, 10, std::nullopt},
      // Counts far beyond any run, without overflow.
      {{{1, 1ULL << 62}, {2, 1}}, 9999, 10000, 1},
      {{{1, 1ULL << 62}, {2, 1ULL << 62}}, 9999, 10000, 2},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(analysis::nearest_rank_of_bins(c.bins, c.parts, c.whole), c.expected) << c.bins.size() << " " << c.parts;
  }
}

TEST(LatencySummary, CpuShareAndTheCheapestWithin) {
  EXPECT_DOUBLE_EQ(*analysis::cpu_percent(500'000, 2'000), 25.0);
  EXPECT_DOUBLE_EQ(*analysis::cpu_percent(2'001'000, 2'000), 100.0) << "a spin read a hair wide";
  EXPECT_FALSE(analysis::cpu_percent(0, 0));
  // Sleep, BusyWait, HighResolutionTimer, Hybrid at 2000 μs.
  const analysis::Candidate methods[] = {{2080, 1.0}, {2000, 100.0}, {2040, std::nullopt}, {2010, 4.0}};
  struct Case {
    std::uint64_t tolerance;
    std::optional<std::size_t> best;
  };
  for (const auto& c : {Case{5, 1}, Case{10, 3}, Case{50, 3}, Case{100, 0}, Case{0, 1}}) {
    EXPECT_EQ(analysis::cheapest_within(methods, 2000, c.tolerance), c.best) << c.tolerance;
  }
  // Equal costs: the lower p99; nothing within: none; an early p99 is as far off as a late one.
  const analysis::Candidate tied[] = {{2010, 3.0}, {2005, 3.0}, {1990, 0.5}};
  EXPECT_EQ(analysis::cheapest_within(tied, 2000, 9), std::optional<std::size_t>{1});
  EXPECT_EQ(analysis::cheapest_within(tied, 2000, 10), std::optional<std::size_t>{2});
  EXPECT_EQ(analysis::cheapest_within(tied, 3000, 10), std::nullopt);
}

}  // namespace
