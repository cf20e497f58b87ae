#pragma once

#include <cstdint>
#include <vector>

#include "analysis/sample_stats.hpp"
#include "measure/platform.hpp"

namespace measure {

enum class SleepMode : std::int32_t {
  Sleep = 0,
  BusyWait = 1,
  HighPrecisionSleep = 2,
};

// "Sleep", "BusyWait", "HighPrecisionSleep", or "Unknown" for any other value.
const char* sleep_mode_name(SleepMode mode);

// The method after `mode`: Sleep → BusyWait → HighPrecisionSleep → Sleep;
// any other value stays as it is.
SleepMode next_sleep_mode(SleepMode mode);

// floor(counter × 1,000,000 / frequency), exact for every 64-bit counter
// value even where the product does not fit in 64 bits. A negative counter
// reads as 0; a frequency of 0 or below gives 0.
std::uint64_t counter_to_microseconds(std::int64_t counter, std::int64_t frequency);

// Performs and times the waits under study. Not synchronized: the owner holds
// its data mutex around every use.
class SleepSampler {
 public:
  SleepSampler();
  explicit SleepSampler(Platform& platform);

  // Waits by `mode_` again and again until `duration_ms` have passed since the
  // call began, recording each wait's duration in microseconds; a wait that
  // spans a suspension of the process is not recorded.
  void measure(std::int32_t duration_ms);

  // Removes all samples; the storage stays allocated.
  void clear();

  analysis::SampleStats compute_stats() const;

  // Measured durations in microseconds, oldest first; at most `max_samples_`
  // after every pass.
  std::vector<std::uint64_t> samples_;
  // The method the next pass uses.
  SleepMode mode_ = SleepMode::Sleep;
  // Counts per second of the high-resolution counter.
  const std::int64_t frequency_;
  const std::uint64_t max_samples_ = 500;

 private:
  std::uint64_t now_us();
  // Keeps a duration unless the process was resumed from a suspension since
  // `resumes_before` was read, before the wait's first timestamp.
  void record(std::uint64_t duration_us, std::uint64_t resumes_before);
  // One timed wait on the counter, the sleep or the timer.
  void busy_wait_pass();
  void sleep_pass();
  void timer_pass();

  Platform& platform_;
};

}  // namespace measure
