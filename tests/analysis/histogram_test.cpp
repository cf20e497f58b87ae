#include "analysis/histogram.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <numeric>
#include <string>
#include <vector>

namespace {

using analysis::build_histogram;
using analysis::histogram_range;
using enum analysis::HistogramFilter;
using Samples = std::vector<std::uint64_t>;

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

std::int64_t total(const std::vector<std::int32_t>& counts) {
  return std::accumulate(counts.begin(), counts.end(), std::int64_t{0});
}

Samples with(Samples samples, std::size_t n, std::uint64_t value) {
  samples.insert(samples.end(), n, value);
  return samples;
}

TEST(Histogram, RangeOfEachFilter) {
  Samples zero_to_499(500);
  std::iota(zero_to_499.begin(), zero_to_499.end(), 0);
  struct Case {
    const char* name;
    Samples samples;
    analysis::HistogramFilter filter;
    std::uint64_t lo, hi;
    std::int64_t counted;
  };
  const Case cases[] = {
      // All: widened by a twentieth of the range, or by 1 up to a range of 20.
      {"range 20", {1000, 1020}, All, 999, 1021, 2},
      {"range 21", {1000, 1021}, All, 999, 1022, 2},
      {"range 39", {1000, 1039}, All, 999, 1040, 2},
      {"range 40", {1000, 1040}, All, 998, 1042, 2},
      {"no margin below 0", {1, 5}, All, 0, 6, 2},
      {"margin equal to the smallest", {5, 105}, All, 0, 110, 2},
      // IQR: quartiles by index; the rest is counted nowhere.
      {"IQR", zero_to_499, Iqr, 125, 375, 251},
      // 2σ: population deviation (mean 1100, σ 300), the low end stopping at 0.
      {"2σ", with({2000}, 9, 1000), TwoSigma, 500, 1700, 9},
      {"2σ from 0", with({1000}, 9, 0), TwoSigma, 0, 700, 9},
      // An empty range is widened to one value.
      {"IQR of equal samples", Samples(50, 1000), Iqr, 1000, 1001, 50},
      {"2σ of equal samples", Samples(50, 1000), TwoSigma, 1000, 1001, 50},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto range = histogram_range(c.samples, c.filter);
    EXPECT_EQ(range.lo, c.lo);
    EXPECT_EQ(range.hi, c.hi);
    EXPECT_EQ(total(build_histogram(c.samples, 7, c.filter).counts), c.counted);
  }
}

TEST(Histogram, EqualSamplesUnderEachFilter) {
  // All: 999 to 1001 in 32 bins of 0.0625, so 1000 starts bin 16.
  const auto all = build_histogram(Samples(50, 1000), 32, All);
  ASSERT_EQ(all.counts.size(), 32U);
  ASSERT_EQ(all.labels.size(), 32U);
  EXPECT_EQ(all.counts[16], 50);
  EXPECT_EQ(all.max_count, 50);
  for (std::size_t i = 0; i < 32; ++i) {
    EXPECT_EQ(all.labels[i], i < 16 ? "999μs" : "1000μs") << "bin " << i;
  }
  for (const auto filter : {Iqr, TwoSigma}) {
    const auto h = build_histogram(Samples(50, 1000), 32, filter);
    EXPECT_EQ(h.counts[0], 50);
    EXPECT_EQ(h.labels, std::vector<std::string>(32, "1000μs"));
  }
}

TEST(Histogram, SampleEqualToHiLandsInTheLastBin) {
  // IQR 1000 to 2000 in bins of 100: 2000 is at 10, one past the end.
  const auto h = build_histogram(with(Samples(7, 1000), 3, 2000), 10, Iqr);
  EXPECT_EQ(h.counts[0], 7);
  EXPECT_EQ(h.counts[9], 3);
  EXPECT_EQ(h.labels.front(), "1050μs") << "a label names its bin's centre";
  EXPECT_EQ(h.labels.back(), "1950μs");
}

TEST(Histogram, SamplesNearTheTopOfTheRangeStayDefined) {
  // A counter that steps back yields durations close to 2^64.
  const Samples samples{kMax, kMax - 1, kMax, 1000, kMax, kMax - 3, kMax, kMax, kMax, kMax};
  for (const auto filter : {All, Iqr, TwoSigma}) {
    const auto range = histogram_range(samples, filter);
    EXPECT_LT(range.lo, range.hi);
    EXPECT_LE(total(build_histogram(samples, 16, filter).counts), 10);
  }
  EXPECT_EQ(total(build_histogram(samples, 16, All).counts), 10) << "the margin saturates";
  EXPECT_EQ(histogram_range(Samples(10, kMax), All).hi, kMax);
}

}  // namespace
