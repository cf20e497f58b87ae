#include "analysis/histogram.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <numeric>
#include <random>

#include "analysis/format.hpp"

namespace {

using analysis::bin_index;
using analysis::build_histogram;
using analysis::histogram_range;
using analysis::HistogramFilter;

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

std::int64_t total(const std::vector<std::int32_t>& counts) {
  return std::accumulate(counts.begin(), counts.end(), std::int64_t{0});
}

// True when `s` is a sequence of whole UTF-8 characters.
bool valid_utf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto lead = static_cast<unsigned char>(s[i]);
    const std::size_t length = lead < 0x80           ? 1
                               : (lead >> 5) == 0x6  ? 2
                               : (lead >> 4) == 0xE  ? 3
                               : (lead >> 3) == 0x1E ? 4
                                                     : 0;
    if (length == 0 || i + length > s.size()) {
      return false;
    }
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0U) != 0x80U) {
        return false;
      }
    }
    i += length;
  }
  return true;
}

TEST(Histogram, AllEqualSamplesUnderAll) {
  const std::vector<std::uint64_t> samples(50, 1000);
  const auto h = build_histogram(samples, 32, HistogramFilter::All);
  // Margin 1: 999 to 1001, width 0.0625, and 1000 sits at the start of bin 16.
  ASSERT_EQ(h.counts.size(), 32U);
  EXPECT_EQ(h.counts[16], 50);
  EXPECT_EQ(total(h.counts), 50);
  EXPECT_EQ(h.max_count, 50);
  ASSERT_EQ(h.labels.size(), 32U);
  for (std::size_t i = 0; i < 32; ++i) {
    EXPECT_EQ(h.labels[i], i < 16 ? "999μs" : "1000μs") << "bin " << i;
  }
}

TEST(Histogram, AllEqualSamplesUnderIqrAndTwoSigma) {
  const std::vector<std::uint64_t> samples(50, 1000);
  for (const auto filter : {HistogramFilter::Iqr, HistogramFilter::TwoSigma}) {
    const auto range = histogram_range(samples, filter);
    EXPECT_EQ(range.lo, 1000U);
    EXPECT_EQ(range.hi, 1001U);  // widened from an empty range
    const auto h = build_histogram(samples, 32, filter);
    EXPECT_EQ(h.counts[0], 50);
    EXPECT_EQ(h.max_count, 50);
    EXPECT_TRUE(std::all_of(h.labels.begin(), h.labels.end(), [](const auto& l) { return l == "1000μs"; }));
  }
}

TEST(Histogram, MarginOfAllGrowsFromARangeOf40) {
  struct Case {
    std::uint64_t largest, lo, hi;
  };
  for (const auto& c : {Case{1020, 999, 1021}, Case{1021, 999, 1022}, Case{1039, 999, 1040}, Case{1040, 998, 1042},
                        Case{1100, 995, 1105}}) {
    const std::vector<std::uint64_t> samples{1000, c.largest};
    const auto range = histogram_range(samples, HistogramFilter::All);
    EXPECT_EQ(range.lo, c.lo) << "largest " << c.largest;
    EXPECT_EQ(range.hi, c.hi) << "largest " << c.largest;
  }
}

TEST(Histogram, AllStartsAtZeroWhenTheSmallestIsWithinTheMargin) {
  EXPECT_EQ(histogram_range(std::vector<std::uint64_t>{1, 5}, HistogramFilter::All).lo, 0U);
  EXPECT_EQ(histogram_range(std::vector<std::uint64_t>{0, 5}, HistogramFilter::All).lo, 0U);
  EXPECT_EQ(histogram_range(std::vector<std::uint64_t>{2, 5}, HistogramFilter::All).lo, 1U);
  // Margin 5 (range 100): a smallest of 5 is not larger than it.
  EXPECT_EQ(histogram_range(std::vector<std::uint64_t>{5, 105}, HistogramFilter::All).lo, 0U);
}

TEST(Histogram, IqrTakesQuartilesByIndexAndDropsTheRest) {
  std::vector<std::uint64_t> samples(500);
  std::iota(samples.begin(), samples.end(), 0);
  std::shuffle(samples.begin(), samples.end(), std::mt19937(7));
  const auto range = histogram_range(samples, HistogramFilter::Iqr);
  EXPECT_EQ(range.lo, 125U);
  EXPECT_EQ(range.hi, 375U);
  const auto h = build_histogram(samples, 7, HistogramFilter::Iqr);
  EXPECT_EQ(total(h.counts), 251);  // 125 to 375, both ends included
}

TEST(Histogram, TwoSigmaUsesThePopulationDeviation) {
  // Mean 1100, deviation 300: 500 to 1700, so 2000 is dropped.
  std::vector<std::uint64_t> samples(9, 1000);
  samples.push_back(2000);
  const auto range = histogram_range(samples, HistogramFilter::TwoSigma);
  EXPECT_EQ(range.lo, 500U);
  EXPECT_EQ(range.hi, 1700U);
  EXPECT_EQ(total(build_histogram(samples, 32, HistogramFilter::TwoSigma).counts), 9);

  // Mean 100, deviation 300: the low end stops at 0.
  std::vector<std::uint64_t> low(9, 0);
  low.push_back(1000);
  EXPECT_EQ(histogram_range(low, HistogramFilter::TwoSigma).lo, 0U);
  EXPECT_EQ(histogram_range(low, HistogramFilter::TwoSigma).hi, 700U);
}

TEST(Histogram, SampleEqualToHiLandsInTheLastBin) {
  EXPECT_EQ(bin_index(32, 0, 1.0, 32), 31U);
  EXPECT_EQ(bin_index(31, 0, 1.0, 32), 31U);
  EXPECT_EQ(bin_index(0, 0, 1.0, 32), 0U);
  // IQR of seven 1000s and three 2000s is 1000 to 2000: (2000 − 1000) / 100 = 10, one past the end.
  std::vector<std::uint64_t> samples(7, 1000);
  samples.insert(samples.end(), 3, 2000);
  const auto h = build_histogram(samples, 10, HistogramFilter::Iqr);
  EXPECT_EQ(h.counts[0], 7);
  EXPECT_EQ(h.counts[9], 3);
}

TEST(Histogram, BinCountZeroMeansThirtyTwo) {
  EXPECT_EQ(analysis::effective_bin_count(0), 32U);
  EXPECT_EQ(analysis::effective_bin_count(-3), 32U);
  EXPECT_EQ(analysis::effective_bin_count(78), 78U);
}

TEST(Histogram, SamplesNearTheTopOfTheRangeStayDefined) {
  // A counter that steps back yields durations close to 2^64.
  const std::vector<std::uint64_t> samples{kMax, kMax - 1, kMax, 1000, kMax, kMax - 3, kMax, kMax, kMax, kMax};
  for (const auto filter : {HistogramFilter::All, HistogramFilter::Iqr, HistogramFilter::TwoSigma}) {
    const auto range = histogram_range(samples, filter);
    EXPECT_LT(range.lo, range.hi);
    const auto h = build_histogram(samples, 16, filter);
    EXPECT_EQ(h.labels.size(), 16U);
    EXPECT_LE(total(h.counts), 10);
  }
  EXPECT_EQ(histogram_range(std::vector<std::uint64_t>(10, kMax), HistogramFilter::All).hi, kMax);
}

TEST(Format, MicrosecondsAreDigitsThenMu) {
  EXPECT_EQ(analysis::format_microseconds(0), "0μs");
  EXPECT_EQ(analysis::format_microseconds(1234), "1234μs");
  EXPECT_EQ(analysis::format_microseconds(1234).size(), 7U);
  EXPECT_EQ(analysis::format_microseconds(kMax), "18446744073709551615μs");
}

TEST(HistogramLabels, CutKeepsWholeCharacters) {
  EXPECT_EQ(analysis::cut_label("1000μs"), "1000μs");
  EXPECT_EQ(analysis::cut_label("12345μs"), "12345μs");   // 8 bytes: kept whole
  EXPECT_EQ(analysis::cut_label("123456μs"), "123456μ");  // 9 bytes: cut after the mu
  // 7 digits: the eighth byte would be the first half of the mu.
  EXPECT_EQ(analysis::cut_label("1234567μs"), "1234567");
  EXPECT_EQ(analysis::cut_label("12345678μs"), "12345678");
  for (std::uint64_t v = 1;; v *= 10) {
    for (const std::uint64_t value : {v - 1, v, v + v / 2}) {
      const auto label = analysis::format_microseconds(value);
      const auto cut = analysis::cut_label(label);
      EXPECT_TRUE(valid_utf8(cut)) << label;
      EXPECT_LE(cut.size(), 8U);
      EXPECT_EQ(label.substr(0, cut.size()), cut);
    }
    if (v > kMax / 10) {
      break;
    }
  }
  EXPECT_TRUE(valid_utf8(analysis::cut_label(analysis::format_microseconds(kMax))));
}

TEST(HistogramLabels, FillerCountsBytesOfTheWholeLabel) {
  EXPECT_EQ(analysis::label_filler(std::string("999μs").size()), 3U);
  EXPECT_EQ(analysis::label_filler(7), 2U);
  EXPECT_EQ(analysis::label_filler(8), 1U);
  EXPECT_EQ(analysis::label_filler(9), 0U);
  EXPECT_EQ(analysis::label_filler(10), 0U);  // a cut label gets no filler
}

}  // namespace
