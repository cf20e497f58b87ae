// The bounded histogram against the exact figures of the same waits: equal
// below its bound, within its stated error above it, seconds included; the
// windows of a run merged make the whole.
#include "analysis/bounded_histogram.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

using analysis::BoundedHistogram;
using Samples = std::vector<std::uint64_t>;

// Random waits from `low` to `high`, seeded: a cluster near the bottom and a
// tail spread over the whole range, as waits come.
Samples waits(std::uint64_t low, std::uint64_t high, std::size_t n, unsigned seed) {
  std::mt19937_64 random(seed);
  std::uniform_int_distribution<std::uint64_t> tail(low, high);
  std::uniform_int_distribution<std::uint64_t> cluster(low, std::min(high, low + (high - low) / 50));
  Samples all(n);
  for (std::uint64_t& x : all) {
    x = random() % 4 == 0 ? tail(random) : cluster(random);
  }
  return all;
}

// The waits counted as a run counts them: in two windows, each merged into
// the run's (which starts empty), the window cleared between them.
BoundedHistogram counted(const Samples& samples) {
  BoundedHistogram run, window;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    if (i == samples.size() / 2) {
      run.merge(window);
      window.clear();
    }
    window.add(samples[i]);
  }
  run.merge(window);
  return run;
}

// Below the bound the histogram's summary is the exact one: percentiles,
// the value → count histogram, the deviation to rounding. Above it (across
// it; tens of milliseconds; seconds; up to an hour; beyond 2^32 μs; one value,
// which reads as itself) every percentile lies within the stated error of the
// exact nearest-rank one. Count, min, max, mean and early are exact throughout.
TEST(BoundedHistogram, ExactBelowItsBoundWithinItsErrorAbove) {
  struct Case {
    std::uint64_t low, high;
    std::size_t n = 20'000;
  };
  for (const auto& c :
       {Case{1, 1, 1}, Case{0, 65'535, 7}, Case{990, 1'400, 2'000}, Case{0, 65'535, 100'000},
        Case{60'000, 65'535, 3'333}, Case{60'000, 70'000}, Case{65'536, 200'000}, Case{1'000'000, 9'000'000},
        Case{1'000, 3'600'000'000}, Case{4'294'000'000, 4'294'967'295}, Case{100'000, 100'000}}) {
    for (unsigned seed = 1; seed <= 3; ++seed) {
      SCOPED_TRACE(testing::Message() << c.low << ".." << c.high << " × " << c.n << ", seed " << seed);
      const Samples samples = waits(c.low, c.high, c.n, seed);
      const auto exact = analysis::summarize(samples, 1000);
      const auto h = analysis::summarize(counted(samples), exact.early);  // early is counted as the waits come
      EXPECT_EQ((Samples{h.count, h.min, h.max, h.early}), (Samples{exact.count, exact.min, exact.max, exact.early}));
      EXPECT_DOUBLE_EQ(h.mean, exact.mean);
      if (c.high < BoundedHistogram::kExactBelow) {
        EXPECT_EQ((Samples{h.p50, h.p90, h.p99, h.p999}), (Samples{exact.p50, exact.p90, exact.p99, exact.p999}));
        EXPECT_NEAR(h.stddev, exact.stddev, 1e-9 * std::max(1.0, exact.stddev));
        EXPECT_EQ(h.histogram, exact.histogram);
        continue;
      }
      for (const auto& [got, want] :
           {std::pair{h.p50, exact.p50}, {h.p90, exact.p90}, {h.p99, exact.p99}, {h.p999, exact.p999}}) {
        const double error = std::abs(static_cast<double>(got) - static_cast<double>(want));
        EXPECT_LE(error, BoundedHistogram::kRelativeError * static_cast<double>(want)) << got << " for " << want;
      }
      EXPECT_TRUE(h.min <= h.p50 && h.p50 <= h.p90 && h.p90 <= h.p99 && h.p99 <= h.p999 && h.p999 <= h.max);
      EXPECT_NEAR(h.stddev, exact.stddev, BoundedHistogram::kRelativeError * exact.mean + 1e-9);
    }
  }
}

// Every bucket above the bound, a 1024th of its power of two wide: the value
// it stands for lies within the stated error of its lowest and highest
// values alike, and the next bucket starts where it ends.
TEST(BoundedHistogram, EveryBucketWithinItsError) {
  std::size_t expected = BoundedHistogram::kExactBelow;
  for (std::uint64_t power = 16; power < 32; ++power) {
    const std::uint64_t width = (std::uint64_t{1} << power) / 1024;
    for (std::uint64_t sub = 0; sub < 1024; ++sub, ++expected) {
      const std::uint64_t lowest = (std::uint64_t{1} << power) + sub * width, highest = lowest + width - 1;
      const std::size_t bucket = BoundedHistogram::bucket_of(lowest);
      ASSERT_EQ(bucket, expected) << lowest;
      ASSERT_EQ(BoundedHistogram::bucket_of(highest), bucket) << highest;
      const std::uint64_t value = BoundedHistogram::bucket_value(bucket);
      for (const std::uint64_t edge : {lowest, highest}) {
        ASSERT_LE(static_cast<double>(value > edge ? value - edge : edge - value),
                  BoundedHistogram::kRelativeError * static_cast<double>(edge))
            << "bucket " << bucket << " stands for " << value << ", " << edge << " is in it";
      }
    }
  }
  EXPECT_EQ(BoundedHistogram::bucket_of(BoundedHistogram::kTop), BoundedHistogram::kBuckets - 1);
  EXPECT_EQ(expected, BoundedHistogram::kBuckets - 1);
}

}  // namespace
