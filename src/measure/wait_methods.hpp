#pragma once

// The ways of waiting that Quorvane measures, one entry each.
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "measure/placement.hpp"
#include "measure/waits.hpp"

namespace measure {

enum class SleepMode : std::int32_t {
  Sleep = 0,
  BusyWait = 1,
  HighPrecisionSleep = 2,
  HighResolutionTimer = 3,
  Hybrid = 4,
};

// floor(counter × 1,000,000 / frequency), exact for every 64-bit counter
// value even where the product does not fit in 64 bits. A negative counter
// reads as 0; a frequency of 0 or below gives 0.
std::uint64_t counter_to_microseconds(std::int64_t counter, std::int64_t frequency);

// How long before its deadline Hybrid's timer is to fire: the p99 (nearest
// rank) of how late that timer fired in the newest 256 of its waits, or half
// the interval until it has fired 16 times; never more than the interval.
class TimerMargin {
 public:
  std::uint64_t margin_us(std::uint64_t interval_us) const;
  // How late the timer fired, past the time it was armed for.
  void add(std::uint64_t overshoot_us);

  static constexpr std::size_t kWindow = 256;
  static constexpr std::size_t kFirst = 16;

 private:
  std::array<std::uint64_t, kWindow> overshoots_us_{};
  std::size_t seen_ = 0;
};

// What a wait is made with: the waits, their counter's frequency and how
// long to wait; whether to read the thread's CPU time around each wait;
// what Hybrid has learnt of its timer; and where given, the placement to
// read the CPU each wait begins and ends on.
struct WaitContext {
  Waits& waits;
  std::int64_t frequency;
  std::chrono::microseconds interval;
  bool read_cpu = false;
  TimerMargin margin;
  Placement* placement = nullptr;

  // The counter now, in microseconds.
  std::uint64_t now_us() const { return counter_to_microseconds(waits.read_counter(), frequency); }
};

// One timed wait: the counter in microseconds just before and just after it;
// the thread's CPU time from just before the first reading to just after the
// second (nothing when not read, or the system will not say); whether the
// method could not wait its own way and waited by its fallback; and the CPU
// the thread was on just before and just after all those readings (nothing
// when not read, or the system will not say).
struct TimedWait {
  std::uint64_t start_us = 0;
  std::uint64_t end_us = 0;
  std::optional<std::uint64_t> cpu_ns;
  bool fell_back = false;
  std::optional<std::uint32_t> start_cpu, end_cpu;
};

struct WaitMethod {
  SleepMode mode;
  const char* name;      // as shown: "Sleep"
  const char* option;    // as --method takes it: "sleep"
  const char* fallback;  // what it waits by when it cannot wait its own way
  // Waits once, timing the wait and nothing else.
  TimedWait (*wait)(WaitContext& context);
};

// Every method, in the order of their modes.
std::span<const WaitMethod> wait_methods();
// The interface's methods, the first three; a report's by default.
std::span<const WaitMethod> interface_methods();
// The method of `mode`, or null for a value no method has.
const WaitMethod* find_method(SleepMode mode);
// The method's name, or "Unknown".
const char* sleep_mode_name(SleepMode mode);

}  // namespace measure
