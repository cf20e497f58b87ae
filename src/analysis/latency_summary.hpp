#pragma once

// The summary of one method's samples that a report gives: the tail as well
// as the centre, and every distinct value.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>

namespace analysis {

// The nearest-rank percentile of `sorted` (ascending, not empty) for
// `permille` thousandths: the smallest sample with at least that share of the
// samples at or below it. 990 is p99, 999 is p99.9.
std::uint64_t nearest_rank(std::span<const std::uint64_t> sorted, std::uint32_t permille);
// Its index in `count` sorted values (count > 0).
std::size_t nearest_rank_index(std::size_t count, std::uint32_t permille);

// A percentile with fewer waits than this beyond it is thin: it is a few
// waits, not a distribution (p99.9 of 2000 waits rests on 2).
inline constexpr std::uint64_t kThinBelow = 10;
// The waits above the nearest-rank percentile `permille` of `count`.
std::uint64_t waits_beyond(std::uint64_t count, std::uint32_t permille);
// Whether that percentile of `count` waits (at least one) is thin.
bool thin(std::uint64_t count, std::uint32_t permille);
// One bin of a histogram: a value, and how many samples had it.
struct Bin {
  std::uint64_t value = 0;
  std::uint64_t count = 0;
};
// The nearest-rank percentile of the samples that `bins` count (values
// ascending, the counts' sum a 64-bit number) for `parts` of `whole` (9999 of
// 10000 is p99.99): the smallest value with at least that share of the samples
// at or below it; nothing when the bins count no sample.
std::optional<std::uint64_t> nearest_rank_of_bins(std::span<const Bin> bins, std::uint64_t parts, std::uint64_t whole);

struct LatencySummary {
  std::uint64_t count = 0;
  std::uint64_t min = 0, p50 = 0, p90 = 0, p99 = 0, p999 = 0, max = 0;
  // Exact mean and population standard deviation.
  double mean = 0.0;
  double stddev = 0.0;
  // Samples below the interval asked for: woke early.
  std::uint64_t early = 0;
  // Samples per value: bins of 1 μs, only those that occur.
  std::map<std::uint64_t, std::uint64_t> histogram;
};

// All zero and an empty histogram for no samples. `samples` in any order,
// waits asked to last `interval_us`.
LatencySummary summarize(std::span<const std::uint64_t> samples, std::uint64_t interval_us);

// The share of `waited_us` that `cpu_ns` of CPU time makes, in per cent: at
// most 100 (the CPU time is read just outside the wait, so a spin can come
// out a hair above its wait); nothing for no waiting.
std::optional<double> cpu_percent(std::uint64_t cpu_ns, std::uint64_t waited_us);

// One method's figures, as a choice weighs them.
struct Candidate {
  std::uint64_t p99 = 0;
  std::optional<double> cpu_percent;
};

// Of the candidates whose p99 is within `tolerance_us` of `interval_us`, the
// index of the one that costs the least CPU (an unknown cost counts as the
// most; equal costs, the lower p99); nothing when none is within.
std::optional<std::size_t> cheapest_within(std::span<const Candidate> candidates, std::uint64_t interval_us,
                                           std::uint64_t tolerance_us);

}  // namespace analysis
