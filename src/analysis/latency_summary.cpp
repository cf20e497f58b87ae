#include "analysis/latency_summary.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

namespace analysis {

std::uint64_t nearest_rank(std::span<const std::uint64_t> sorted, std::uint32_t permille) {
  // rank = ceil(n × permille / 1000), at least 1; n is at most a few million,
  // so the product fits.
  const std::uint64_t rank = (sorted.size() * permille + 999) / 1000;
  return sorted[rank == 0 ? 0 : rank - 1];
}

LatencySummary summarize(std::span<const std::uint64_t> samples) {
  LatencySummary s;
  s.count = samples.size();
  if (samples.empty()) {
    return s;
  }
  std::vector<std::uint64_t> sorted(samples.begin(), samples.end());
  std::sort(sorted.begin(), sorted.end());
  s.min = sorted.front();
  s.max = sorted.back();
  s.p50 = nearest_rank(sorted, 500);
  s.p90 = nearest_rank(sorted, 900);
  s.p99 = nearest_rank(sorted, 990);
  s.p999 = nearest_rank(sorted, 999);
  double sum = 0.0;
  for (const std::uint64_t x : sorted) {
    sum += static_cast<double>(x);
    ++s.histogram[x];
  }
  const auto n = static_cast<double>(s.count);
  s.mean = sum / n;
  double squares = 0.0;
  for (const std::uint64_t x : sorted) {
    const double d = static_cast<double>(x) - s.mean;
    squares += d * d;
  }
  s.stddev = std::sqrt(squares / n);
  s.early = static_cast<std::uint64_t>(std::lower_bound(sorted.begin(), sorted.end(), kAskedUs) - sorted.begin());
  return s;
}

}  // namespace analysis
