#include "analysis/sample_stats.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace analysis {

SampleStats compute_stats(const std::vector<std::uint64_t>& samples, std::int64_t frequency) {
  SampleStats stats;
  stats.count = samples.size();
  if (samples.empty()) {
    return stats;
  }
  const auto [min, max] = std::minmax_element(samples.begin(), samples.end());
  stats.min = *min;
  stats.max = *max;
  stats.mean = std::accumulate(samples.begin(), samples.end(), std::uint64_t{0}) / stats.count;

  std::vector<std::uint64_t> sorted(samples);
  const std::size_t middle = sorted.size() / 2;
  std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(middle), sorted.end());
  if (sorted.size() % 2 == 1) {
    stats.median = sorted[middle];
  } else {
    // The lower middle is the largest of the part nth_element left below it.
    const std::uint64_t lower = *std::max_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(middle));
    stats.median = (lower + sorted[middle]) / 2;
  }

  const auto mean = static_cast<double>(stats.mean);
  double squares = 0.0;
  for (const std::uint64_t x : samples) {
    const double d = static_cast<double>(x) - mean;
    squares += d * d;
  }
  stats.stddev = std::sqrt(squares / static_cast<double>(stats.count));
  stats.us_per_tick = frequency != 0 ? 1'000'000.0 / static_cast<double>(frequency) : 0.0;
  return stats;
}

}  // namespace analysis
