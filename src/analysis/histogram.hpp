#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace analysis {

// Fewer samples than this leave the histogram as it was.
inline constexpr std::size_t kHistogramMinSamples = 10;
// The number of bins a requested count of 0 stands for.
inline constexpr std::size_t kDefaultBinCount = 32;

// Which value range the bins cover. Any other value is named and binned as
// All; next_filter leaves it as it is.
enum class HistogramFilter : std::int32_t {
  All = 0,       // smallest to largest sample, widened by a margin
  Iqr = 1,       // first to third quartile, by index
  TwoSigma = 2,  // mean ± two population standard deviations
};

// "All", "IQR" or "2σ".
const char* filter_name(HistogramFilter filter);

// All → Iqr → TwoSigma → All; any other value stays as it is.
HistogramFilter next_filter(HistogramFilter filter);

// The value range the bins cover, both ends included; hi > lo.
struct ValueRange {
  std::uint64_t lo = 0;
  std::uint64_t hi = 1;
};

// The range of `samples` (any order, not empty) under `filter`.
ValueRange histogram_range(std::span<const std::uint64_t> samples, HistogramFilter filter);

// Bins actually used for a requested count: 0 (or less) means 32.
std::size_t effective_bin_count(std::int64_t requested);

// The bin of `x` in a row of `bins` bins of `width` from `lo`, clamped into
// the row so that a sample equal to hi lands in the last bin.
std::size_t bin_index(std::uint64_t x, std::uint64_t lo, double width, std::size_t bins);

struct Histogram {
  // One count per bin, lowest values first.
  std::vector<std::int32_t> counts;
  // One label per bin: the text of its centre value.
  std::vector<std::string> labels;
  // Largest entry of `counts`; 0 means nothing to draw.
  std::int32_t max_count = 0;
  bool operator==(const Histogram&) const = default;
};

// Bins `samples` (any order) over the range of `filter`; samples outside the
// range are counted nowhere. Empty input gives zero counts and no labels.
Histogram build_histogram(std::span<const std::uint64_t> samples, std::size_t bins, HistogramFilter filter);

}  // namespace analysis
