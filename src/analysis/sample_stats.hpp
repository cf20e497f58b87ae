#pragma once

#include <cstdint>
#include <vector>

namespace analysis {

// Summary of a buffer of microsecond samples.
struct SampleStats {
  std::uint64_t count = 0;
  std::uint64_t min = 0;
  std::uint64_t max = 0;
  // Sum / count, truncated.
  std::uint64_t mean = 0;
  // Middle of the sorted samples; for an even count the truncated mean of the two middle ones.
  std::uint64_t median = 0;
  // Population standard deviation around the integer mean.
  double stddev = 0.0;
  // 1,000,000 / frequency; 0.0 for a frequency of 0.
  double us_per_tick = 0.0;
};

// All fields 0 for an empty buffer, whatever the frequency.
SampleStats compute_stats(const std::vector<std::uint64_t>& samples, std::int64_t frequency);

}  // namespace analysis
