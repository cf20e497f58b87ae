#pragma once

// The summary of one method's samples that a report gives: the tail as well
// as the centre, and every distinct value.
#include <cstddef>
#include <cstdint>
#include <map>
#include <span>

namespace analysis {

// The wait every method asks for, in μs; a sample below it woke early.
inline constexpr std::uint64_t kAskedUs = 1000;

// The nearest-rank percentile of `sorted` (ascending, not empty) for
// `permille` thousandths: the smallest sample with at least that share of the
// samples at or below it. 990 is p99, 999 is p99.9.
std::uint64_t nearest_rank(std::span<const std::uint64_t> sorted, std::uint32_t permille);
// Its index in `count` sorted values (count > 0).
std::size_t nearest_rank_index(std::size_t count, std::uint32_t permille);

struct LatencySummary {
  std::uint64_t count = 0;
  std::uint64_t min = 0, p50 = 0, p90 = 0, p99 = 0, p999 = 0, max = 0;
  // Exact mean and population standard deviation.
  double mean = 0.0;
  double stddev = 0.0;
  // Samples below kAskedUs.
  std::uint64_t early = 0;
  // Samples per value: bins of 1 μs, only those that occur.
  std::map<std::uint64_t, std::uint64_t> histogram;
};

// All zero and an empty histogram for no samples. `samples` in any order.
LatencySummary summarize(std::span<const std::uint64_t> samples);

}  // namespace analysis
