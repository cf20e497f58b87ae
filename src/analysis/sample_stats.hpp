#pragma once

#include <cstdint>
#include <span>

namespace analysis {

// The arithmetic mean of `samples`, exact but for rounding; 0 for none.
double mean(std::span<const std::uint64_t> samples);

// The population standard deviation of `samples` around `centre`: the root
// of the mean squared distance (divided by the count, not the count − 1);
// 0 for none.
double deviation_around(std::span<const std::uint64_t> samples, double centre);

// The figures the interface shows of its buffer.
struct SampleStats {
  std::uint64_t count = 0;
  std::uint64_t min = 0;
  std::uint64_t max = 0;
  // Sum / count, truncated.
  std::uint64_t mean = 0;
  // Population standard deviation around the truncated mean.
  double stddev = 0.0;
  bool operator==(const SampleStats&) const = default;
};

// All fields 0 for an empty buffer.
SampleStats compute_stats(std::span<const std::uint64_t> samples);

}  // namespace analysis
