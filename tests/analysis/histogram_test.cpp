#include "analysis/histogram.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <numeric>
#include <vector>

namespace {

using analysis::build_histogram;
using analysis::histogram_range;
using enum analysis::HistogramFilter;
using Samples = std::vector<std::uint64_t>;

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

Samples with(Samples samples, std::size_t n, std::uint64_t value) {
  samples.insert(samples.end(), n, value);
  return samples;
}

// The range each filter gives, and how many samples the bins then count.
TEST(Histogram, RangeOfEachFilter) {
  Samples zero_to_499(500);
  std::iota(zero_to_499.begin(), zero_to_499.end(), 0);
  struct Case {
    Samples samples;
    analysis::HistogramFilter filter;
    std::uint64_t lo, hi;
    std::int32_t counted;
  };
  const Case cases[] = {
      // All: widened by a twentieth of the range, or by 1 up to a range of 39.
      {{1000, 1020}, All, 999, 1021, 2},
      {{1000, 1040}, All, 998, 1042, 2},
      {{5, 105}, All, 0, 110, 2},  // no lower than 0
      // IQR: quartiles by index; the rest is counted nowhere.
      {zero_to_499, Iqr, 125, 375, 251},
      // 2σ: population deviation (mean 1100, σ 300), the low end stopping at 0.
      {with({2000}, 9, 1000), TwoSigma, 500, 1700, 9},
      {with({1000}, 9, 0), TwoSigma, 0, 700, 9},
      // An empty range is widened to one value.
      {Samples(50, 1000), Iqr, 1000, 1001, 50},
      {Samples(50, 1000), TwoSigma, 1000, 1001, 50},
      // Durations near 2^64 (a counter that stepped back) saturate rather than wrap.
      {with({kMax - 3, 1000}, 8, kMax), All, 0, kMax, 10},
      {Samples(10, kMax), All, kMax - 1, kMax, 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.samples).substr(0, 40));
    const auto range = histogram_range(c.samples, c.filter);
    EXPECT_EQ(range.lo, c.lo);
    EXPECT_EQ(range.hi, c.hi);
    const auto counts = build_histogram(c.samples, 7, c.filter).counts;
    EXPECT_EQ(std::accumulate(counts.begin(), counts.end(), 0), c.counted);
  }
}

TEST(Histogram, BinsAndLabels) {
  // All: 999 to 1001 in 32 bins of 0.0625, so 1000 starts bin 16; a label is its bin's centre.
  const auto all = build_histogram(Samples(50, 1000), 32, All);
  EXPECT_EQ(std::tie(all.counts[16], all.max_count, all.labels[15], all.labels[16]),
            std::make_tuple(50, 50, "999μs", "1000μs"));
  // IQR 1000 to 2000 in bins of 100: a sample equal to hi lands in the last bin.
  const auto iqr = build_histogram(with(Samples(7, 1000), 3, 2000), 10, Iqr);
  EXPECT_EQ(std::tie(iqr.counts[0], iqr.counts[9], iqr.labels[0], iqr.labels[9]),
            std::make_tuple(7, 3, "1050μs", "1950μs"));
}

}  // namespace
