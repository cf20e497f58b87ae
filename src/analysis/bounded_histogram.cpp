#include "analysis/bounded_histogram.hpp"

#include <algorithm>
#include <cmath>

namespace analysis {

static_assert(BoundedHistogram::kExactBelow == std::uint64_t{1} << 16, "bucket_of counts powers from 16");
static_assert(std::has_single_bit(BoundedHistogram::kSubBuckets), "sub-buckets cut a power of two evenly");

std::uint64_t BoundedHistogram::bucket_value(std::size_t bucket) {
  if (bucket < kExactBelow) {
    return bucket;
  }
  if (bucket >= kBuckets - 1) {
    return kTop;
  }
  const std::uint64_t above = bucket - kExactBelow;
  const std::uint64_t power = 16 + above / kSubBuckets;
  const std::uint64_t width = (std::uint64_t{1} << power) / kSubBuckets;
  return (std::uint64_t{1} << power) + (above % kSubBuckets) * width + width / 2;
}

void BoundedHistogram::merge(const BoundedHistogram& other) {
  if (other.count_ == 0) {
    return;
  }
  for (std::size_t i = 0; i < kBuckets; ++i) {
    counts_[i] += other.counts_[i];
  }
  min_ = count_ == 0 ? other.min_ : std::min(min_, other.min_);
  max_ = std::max(max_, other.max_);
  sum_ += other.sum_;
  count_ += other.count_;
}

void BoundedHistogram::clear() {
  if (count_ == 0) {
    return;
  }
  std::fill(counts_.begin(), counts_.end(), 0);
  count_ = min_ = max_ = sum_ = 0;
}

std::vector<std::uint64_t> nearest_ranks(const BoundedHistogram& waits, const std::vector<std::uint32_t>& permilles) {
  std::vector<std::uint64_t> values;
  std::uint64_t below = 0;  // waits in the buckets passed
  std::size_t bucket = 0;
  for (const std::uint32_t permille : permilles) {
    const std::uint64_t rank = nearest_rank_index(waits.count(), permille) + 1;
    while (below + waits.counts()[bucket] < rank) {
      below += waits.counts()[bucket++];
    }
    values.push_back(std::clamp(BoundedHistogram::bucket_value(bucket), waits.min(), waits.max()));
  }
  return values;
}

LatencySummary summarize(const BoundedHistogram& waits, std::uint64_t early) {
  LatencySummary s;
  s.count = waits.count();
  s.early = early;
  if (s.count == 0) {
    return s;
  }
  s.min = waits.min();
  s.max = waits.max();
  const auto ranks = nearest_ranks(waits, {500, 900, 990, 999});
  s.p50 = ranks[0], s.p90 = ranks[1], s.p99 = ranks[2], s.p999 = ranks[3];
  s.mean = static_cast<double>(waits.sum()) / static_cast<double>(s.count);
  double squares = 0.0;
  for (std::size_t bucket = 0; bucket < BoundedHistogram::kBuckets; ++bucket) {
    if (const std::uint64_t n = waits.counts()[bucket]; n > 0) {
      const std::uint64_t value = std::clamp(BoundedHistogram::bucket_value(bucket), s.min, s.max);
      const double d = static_cast<double>(value) - s.mean;
      squares += static_cast<double>(n) * d * d;
      s.histogram[value] += n;
    }
  }
  s.stddev = std::sqrt(squares / static_cast<double>(s.count));
  return s;
}

}  // namespace analysis
