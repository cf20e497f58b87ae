#include "analysis/sample_stats.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace analysis {

double mean(std::span<const std::uint64_t> samples) {
  if (samples.empty()) {
    return 0.0;
  }
  double sum = 0.0;
  for (const std::uint64_t x : samples) {
    sum += static_cast<double>(x);
  }
  return sum / static_cast<double>(samples.size());
}

double deviation_around(std::span<const std::uint64_t> samples, double centre) {
  if (samples.empty()) {
    return 0.0;
  }
  double squares = 0.0;
  for (const std::uint64_t x : samples) {
    const double d = static_cast<double>(x) - centre;
    squares += d * d;
  }
  return std::sqrt(squares / static_cast<double>(samples.size()));
}

SampleStats compute_stats(std::span<const std::uint64_t> samples) {
  SampleStats stats;
  stats.count = samples.size();
  if (samples.empty()) {
    return stats;
  }
  const auto [min, max] = std::minmax_element(samples.begin(), samples.end());
  stats.min = *min;
  stats.max = *max;
  stats.mean = std::accumulate(samples.begin(), samples.end(), std::uint64_t{0}) / stats.count;
  // Around the integer mean the panel shows, not the exact one.
  stats.stddev = deviation_around(samples, static_cast<double>(stats.mean));
  return stats;
}

}  // namespace analysis
