#include "analysis/histogram.hpp"

#include <algorithm>
#include <limits>

#include "analysis/format.hpp"
#include "analysis/sample_stats.hpp"

namespace analysis {
namespace {

constexpr std::uint64_t kMaxValue = std::numeric_limits<std::uint64_t>::max();

// A sample from a counter that stepped back is close to 2^64: saturate
// rather than wrap, so such a buffer still gives a range with hi above lo.
std::uint64_t add_saturated(std::uint64_t a, std::uint64_t b) { return b > kMaxValue - a ? kMaxValue : a + b; }

// Drops the fraction; values of 2^64 and more (which a plain cast leaves
// undefined) become the largest value.
std::uint64_t to_whole(double v) {
  constexpr double kTwoTo64 = 18446744073709551616.0;
  if (!(v > 0.0)) {
    return 0;
  }
  return v >= kTwoTo64 ? kMaxValue : static_cast<std::uint64_t>(v);
}

ValueRange all_range(std::span<const std::uint64_t> samples) {
  const auto [smallest, largest] = std::minmax_element(samples.begin(), samples.end());
  const std::uint64_t range = *largest - *smallest;
  const std::uint64_t margin = range > 20 ? range / 20 : 1;
  return {*smallest > margin ? *smallest - margin : 0, add_saturated(*largest, margin)};
}

ValueRange iqr_range(std::span<const std::uint64_t> samples) {
  std::vector<std::uint64_t> sorted(samples.begin(), samples.end());
  std::sort(sorted.begin(), sorted.end());
  const std::size_t n = sorted.size();
  return {sorted[n / 4], sorted[3 * n / 4]};
}

ValueRange two_sigma_range(std::span<const std::uint64_t> samples) {
  const double centre = mean(samples);
  const double sigma = deviation_around(samples, centre);
  return {to_whole(std::max(centre - 2.0 * sigma, 0.0)), to_whole(centre + 2.0 * sigma)};
}

}  // namespace

const char* filter_name(HistogramFilter filter) {
  switch (filter) {
    case HistogramFilter::Iqr:
      return "IQR";
    case HistogramFilter::TwoSigma:
      return "2σ";
    case HistogramFilter::All:
      break;
  }
  return "All";
}

HistogramFilter next_filter(HistogramFilter filter) {
  switch (filter) {
    case HistogramFilter::All:
      return HistogramFilter::Iqr;
    case HistogramFilter::Iqr:
      return HistogramFilter::TwoSigma;
    case HistogramFilter::TwoSigma:
      return HistogramFilter::All;
  }
  return filter;
}

ValueRange histogram_range(std::span<const std::uint64_t> samples, HistogramFilter filter) {
  ValueRange range;
  switch (filter) {
    case HistogramFilter::Iqr:
      range = iqr_range(samples);
      break;
    case HistogramFilter::TwoSigma:
      range = two_sigma_range(samples);
      break;
    default:
      range = all_range(samples);
      break;
  }
  if (range.hi <= range.lo) {
    if (range.lo == kMaxValue) {
      range.lo = kMaxValue - 1;
    }
    range.hi = range.lo + 1;
  }
  return range;
}

std::size_t effective_bin_count(std::int64_t requested) {
  return requested > 0 ? static_cast<std::size_t>(requested) : kDefaultBinCount;
}

std::size_t bin_index(std::uint64_t x, std::uint64_t lo, double width, std::size_t bins) {
  if (x <= lo || bins == 0) {
    return 0;
  }
  const double position = static_cast<double>(x - lo) / width;
  // Rounding can put a sample equal to hi one bin past the end.
  return position >= static_cast<double>(bins) ? bins - 1 : static_cast<std::size_t>(position);
}

Histogram build_histogram(std::span<const std::uint64_t> samples, std::size_t bins, HistogramFilter filter) {
  Histogram h;
  h.counts.assign(bins, 0);
  if (samples.empty() || bins == 0) {
    return h;
  }
  const ValueRange range = histogram_range(samples, filter);
  const double width = static_cast<double>(range.hi - range.lo) / static_cast<double>(bins);
  for (const std::uint64_t x : samples) {
    if (x >= range.lo && x <= range.hi) {
      ++h.counts[bin_index(x, range.lo, width, bins)];
    }
  }
  h.max_count = *std::max_element(h.counts.begin(), h.counts.end());
  h.labels.reserve(bins);
  for (std::size_t i = 0; i < bins; ++i) {
    const double offset = (static_cast<double>(i) + 0.5) * width;
    h.labels.push_back(format_microseconds(add_saturated(range.lo, to_whole(offset))));
  }
  return h;
}

}  // namespace analysis
