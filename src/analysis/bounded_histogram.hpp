#pragma once

// Waits counted rather than kept, so that a run of hours needs no more memory
// than a run of a minute: log-linear buckets, exact where waits usually lie.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "analysis/latency_summary.hpp"

namespace analysis {

// Counts of durations in whole μs. Below kExactBelow every μs has a bucket
// of its own, so there the counts are exact. From there on each power of two
// [2^k, 2^(k+1)) is cut into kSubBuckets buckets of equal width, and a bucket
// stands for its middle value, which lies within kRelativeError of every
// value in it; from kTop (2^32 μs, 71 minutes) on, one bucket takes all. The
// count, smallest, largest and sum are kept exactly beside the buckets.
class BoundedHistogram {
 public:
  static constexpr std::uint64_t kExactBelow = 65'536;
  static constexpr std::uint64_t kSubBuckets = 1'024;
  static constexpr std::uint64_t kTop = std::uint64_t{1} << 32;
  // Half a bucket over the lowest value it holds: 2^(k-11) / 2^k.
  static constexpr double kRelativeError = 1.0 / (2.0 * kSubBuckets);
  static constexpr std::size_t kBuckets =
      kExactBelow + static_cast<std::size_t>(std::bit_width(kTop) - std::bit_width(kExactBelow)) * kSubBuckets + 1;

  // Every bucket is made here, so that counting never allocates.
  BoundedHistogram() : counts_(kBuckets, 0) {}

  void add(std::uint64_t us) {
    ++counts_[bucket_of(us)];
    min_ = count_ == 0 || us < min_ ? us : min_;
    max_ = us > max_ ? us : max_;
    sum_ += us;
    ++count_;
  }
  void merge(const BoundedHistogram& other);
  void clear();

  std::uint64_t count() const { return count_; }
  std::uint64_t min() const { return min_; }
  std::uint64_t max() const { return max_; }
  std::uint64_t sum() const { return sum_; }
  const std::vector<std::uint64_t>& counts() const { return counts_; }

  // The bucket `us` is counted in, and the value a bucket stands for.
  static std::size_t bucket_of(std::uint64_t us) {
    if (us < kExactBelow) {
      return static_cast<std::size_t>(us);
    }
    if (us >= kTop) {
      return kBuckets - 1;
    }
    const auto power = static_cast<std::uint64_t>(std::bit_width(us)) - 1;  // 16 to 31
    const auto shift = power - static_cast<std::uint64_t>(std::bit_width(kSubBuckets - 1));
    const std::uint64_t sub = (us >> shift) & (kSubBuckets - 1);
    return static_cast<std::size_t>(kExactBelow + (power - 16) * kSubBuckets + sub);
  }
  static std::uint64_t bucket_value(std::size_t bucket);

 private:
  std::vector<std::uint64_t> counts_;
  std::uint64_t count_ = 0, min_ = 0, max_ = 0, sum_ = 0;
};

// The nearest-rank percentiles for `permilles` (ascending) in one pass: the
// value of the bucket that holds each rank, kept within the smallest and
// largest. `waits` not empty.
std::vector<std::uint64_t> nearest_ranks(const BoundedHistogram& waits, const std::vector<std::uint32_t>& permilles);

// A report's summary from the counts: count, min, max and mean exact; the
// percentiles, the deviation (around the exact mean) and the histogram exact
// while every wait is below kExactBelow, within kRelativeError above it.
// `early`, the waits shorter than the interval, is counted as they come.
LatencySummary summarize(const BoundedHistogram& waits, std::uint64_t early);

}  // namespace analysis
