#include "analysis/latency_summary.hpp"

#include <algorithm>
#include <limits>
#include <vector>

#include "analysis/sample_stats.hpp"

namespace analysis {

std::size_t nearest_rank_index(std::size_t count, std::uint32_t permille) {
  // rank = ceil(n × permille / 1000), at least 1; n is at most a few million,
  // so the product fits.
  const std::size_t rank = (count * permille + 999) / 1000;
  return rank == 0 ? 0 : rank - 1;
}

std::uint64_t nearest_rank(std::span<const std::uint64_t> sorted, std::uint32_t permille) {
  return sorted[nearest_rank_index(sorted.size(), permille)];
}

std::uint64_t waits_beyond(std::uint64_t count, std::uint32_t permille) {
  return count == 0 ? 0 : count - nearest_rank_index(count, permille) - 1;
}

bool thin(std::uint64_t count, std::uint32_t permille) {
  return count > 0 && waits_beyond(count, permille) < kThinBelow;
}

std::optional<std::uint64_t> nearest_rank_of_bins(std::span<const Bin> bins, std::uint64_t parts, std::uint64_t whole) {
  std::uint64_t total = 0;
  for (const Bin& bin : bins) {
    total += bin.count;
  }
  if (total == 0) {
    return std::nullopt;
  }
  // ceil(total × parts / whole), at least 1, in parts that cannot overflow.
  const std::uint64_t rank =
      std::max<std::uint64_t>(1, total / whole * parts + (total % whole * parts + whole - 1) / whole);
  std::uint64_t seen = 0;
  for (const Bin& bin : bins) {
    seen += bin.count;
    if (seen >= rank) {
      return bin.value;
    }
  }
  return bins.back().value;
}

LatencySummary summarize(std::span<const std::uint64_t> samples, std::uint64_t interval_us) {
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
  for (const std::uint64_t x : sorted) {
    ++s.histogram[x];
  }
  s.mean = mean(sorted);
  s.stddev = deviation_around(sorted, s.mean);
  s.early = static_cast<std::uint64_t>(std::lower_bound(sorted.begin(), sorted.end(), interval_us) - sorted.begin());
  return s;
}

std::optional<double> cpu_percent(std::uint64_t cpu_ns, std::uint64_t waited_us) {
  if (waited_us == 0) {
    return std::nullopt;
  }
  return std::min(100.0, static_cast<double>(cpu_ns) / (static_cast<double>(waited_us) * 1000.0) * 100.0);
}

std::optional<std::size_t> cheapest_within(std::span<const Candidate> candidates, std::uint64_t interval_us,
                                           std::uint64_t tolerance_us) {
  std::optional<std::size_t> best;
  const auto cost = [](const Candidate& c) { return c.cpu_percent.value_or(std::numeric_limits<double>::infinity()); };
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    const Candidate& c = candidates[i];
    const std::uint64_t off = c.p99 > interval_us ? c.p99 - interval_us : interval_us - c.p99;
    if (off > tolerance_us) {
      continue;
    }
    if (!best || cost(c) < cost(candidates[*best]) ||
        (cost(c) == cost(candidates[*best]) && c.p99 < candidates[*best].p99)) {
      best = i;
    }
  }
  return best;
}

}  // namespace analysis
