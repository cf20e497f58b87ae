#pragma once

// The ways of waiting that Quorvane measures, one entry each.
#include <chrono>
#include <cstdint>
#include <span>

#include "measure/platform.hpp"

namespace measure {

enum class SleepMode : std::int32_t {
  Sleep = 0,
  BusyWait = 1,
  HighPrecisionSleep = 2,
};

// floor(counter × 1,000,000 / frequency), exact for every 64-bit counter
// value even where the product does not fit in 64 bits. A negative counter
// reads as 0; a frequency of 0 or below gives 0.
std::uint64_t counter_to_microseconds(std::int64_t counter, std::int64_t frequency);

// What a wait is made with: the platform, its counter's frequency and how
// long to wait.
struct WaitContext {
  Platform& platform;
  std::int64_t frequency;
  std::chrono::microseconds interval;

  // The counter now, in microseconds.
  std::uint64_t now_us() const { return counter_to_microseconds(platform.read_counter(), frequency); }
};

// One timed wait: the counter in microseconds just before and just after it,
// and whether the method could not wait its own way and waited by another.
struct TimedWait {
  std::uint64_t start_us = 0;
  std::uint64_t end_us = 0;
  bool fell_back = false;
};

struct WaitMethod {
  SleepMode mode;
  const char* name;    // as shown: "Sleep"
  const char* option;  // as --method takes it: "sleep"
  // Waits once, timing the wait and nothing else.
  TimedWait (*wait)(WaitContext& context);
};

// Every method, in the order of their modes.
std::span<const WaitMethod> wait_methods();
// The method of `mode`, or null for a value no method has.
const WaitMethod* find_method(SleepMode mode);
// The method's name, or "Unknown".
const char* sleep_mode_name(SleepMode mode);
// The interface's cycle: Sleep → BusyWait → HighPrecisionSleep → Sleep; any
// other value stays as it is.
SleepMode next_sleep_mode(SleepMode mode);

}  // namespace measure
