#include "analysis/sample_stats.hpp"

#include <gtest/gtest.h>

namespace {

using analysis::compute_stats;

TEST(SampleStats, EmptyBufferIsAllZeroWhateverTheFrequency) {
  const auto s = compute_stats({}, 10'000'000);
  EXPECT_EQ(s.count, 0U);
  EXPECT_EQ(s.min, 0U);
  EXPECT_EQ(s.max, 0U);
  EXPECT_EQ(s.mean, 0U);
  EXPECT_EQ(s.median, 0U);
  EXPECT_EQ(s.stddev, 0.0);
  EXPECT_EQ(s.us_per_tick, 0.0);
}

TEST(SampleStats, OneSample) {
  const auto s = compute_stats({1234}, 10'000'000);
  EXPECT_EQ(s.count, 1U);
  EXPECT_EQ(s.min, 1234U);
  EXPECT_EQ(s.max, 1234U);
  EXPECT_EQ(s.mean, 1234U);
  EXPECT_EQ(s.median, 1234U);
  EXPECT_EQ(s.stddev, 0.0);
  EXPECT_DOUBLE_EQ(s.us_per_tick, 0.1);
}

TEST(SampleStats, DeviationIsTakenAroundTheIntegerMean) {
  const auto s = compute_stats({1000, 1001}, 1'000'000'000);
  EXPECT_EQ(s.mean, 1000U);
  EXPECT_EQ(s.median, 1000U);
  EXPECT_DOUBLE_EQ(s.stddev, 0.7071067811865476);
  EXPECT_DOUBLE_EQ(s.us_per_tick, 0.001);
}

TEST(SampleStats, PopulationDeviationAndUnsortedInput) {
  const std::vector<std::uint64_t> samples{3000, 1000, 2000};
  const auto s = compute_stats(samples, 0);
  EXPECT_EQ(s.min, 1000U);
  EXPECT_EQ(s.max, 3000U);
  EXPECT_EQ(s.mean, 2000U);
  EXPECT_EQ(s.median, 2000U);
  EXPECT_DOUBLE_EQ(s.stddev, 816.496580927726);
  EXPECT_EQ(s.us_per_tick, 0.0);
  EXPECT_EQ(samples, (std::vector<std::uint64_t>{3000, 1000, 2000}));
}

TEST(SampleStats, EvenCountTruncatesMeanAndMedian) {
  const auto s = compute_stats({1004, 1000, 1003, 1000}, 10'000'000);
  EXPECT_EQ(s.mean, 1001U);    // 4007 / 4
  EXPECT_EQ(s.median, 1001U);  // (1000 + 1003) / 2
}

TEST(SampleStats, MedianOfAFullBuffer) {
  std::vector<std::uint64_t> samples;
  for (std::uint64_t i = 0; i < 500; ++i) {
    samples.push_back((i * 7919) % 500);  // 0..499, shuffled
  }
  const auto s = compute_stats(samples, 10'000'000);
  EXPECT_EQ(s.count, 500U);
  EXPECT_EQ(s.median, 249U);  // (249 + 250) / 2
  EXPECT_EQ(s.mean, 249U);
}

}  // namespace
