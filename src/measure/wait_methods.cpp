#include "measure/wait_methods.hpp"

#include <array>
#include <cstdint>

namespace measure {
namespace {

constexpr std::uint64_t kMicrosPerSecond = 1'000'000;

std::uint64_t interval_us(const WaitContext& context) {
  return context.interval.count() > 0 ? static_cast<std::uint64_t>(context.interval.count()) : 0;
}

TimedWait sleep_wait(WaitContext& context) {
  TimedWait wait;
  wait.start_us = context.now_us();
  context.platform.sleep(context.interval);
  wait.end_us = context.now_us();
  return wait;
}

// Spins on the counter, never yielding, until the interval has passed.
TimedWait busy_wait(WaitContext& context) {
  TimedWait wait;
  wait.start_us = context.now_us();
  const std::uint64_t target = wait.start_us + interval_us(context);
  wait.end_us = context.now_us();
  while (wait.end_us < target) {
    wait.end_us = context.now_us();
  }
  return wait;
}

// A one-shot kernel timer, made and closed outside the timestamps. One that
// cannot be made or armed (an unarmed one would never fire) gives a sleep.
TimedWait timer_wait(WaitContext& context) {
  TimedWait wait;
  {
    const auto timer = context.platform.create_timer();
    if (timer) {
      wait.start_us = context.now_us();
      if (timer->arm(context.interval)) {
        timer->wait();
        wait.end_us = context.now_us();
        return wait;
      }
    }
  }
  wait = sleep_wait(context);
  wait.fell_back = true;
  return wait;
}

constexpr std::array kMethods{
    WaitMethod{SleepMode::Sleep, "Sleep", "sleep", sleep_wait},
    WaitMethod{SleepMode::BusyWait, "BusyWait", "busywait", busy_wait},
    WaitMethod{SleepMode::HighPrecisionSleep, "HighPrecisionSleep", "timer", timer_wait},
};

}  // namespace

std::uint64_t counter_to_microseconds(std::int64_t counter, std::int64_t frequency) {
  if (counter <= 0 || frequency <= 0) {
    return 0;
  }
  // counter = whole × frequency + rest, so the quotient is whole × 10^6 plus
  // floor(rest × 10^6 / frequency); rest < frequency keeps that product small.
  const auto c = static_cast<std::uint64_t>(counter);
  const auto f = static_cast<std::uint64_t>(frequency);
  const std::uint64_t whole = c / f;
  const std::uint64_t rest = c % f;
  if (rest <= UINT64_MAX / kMicrosPerSecond) {
    return whole * kMicrosPerSecond + rest * kMicrosPerSecond / f;
  }
  // A counter faster than about 18 THz: rest × 10^6 = q × f + r, built up one
  // bit of the multiplier at a time so that no intermediate exceeds f.
  std::uint64_t q = 0;
  std::uint64_t r = 0;
  for (int bit = 63; bit >= 0; --bit) {
    q <<= 1;
    if (r >= f - r) {  // r × 2 ≥ f
      r -= f - r;
      ++q;
    } else {
      r <<= 1;
    }
    if ((kMicrosPerSecond >> bit) & 1U) {
      if (r >= f - rest) {  // r + rest ≥ f
        r -= f - rest;
        ++q;
      } else {
        r += rest;
      }
    }
  }
  return whole * kMicrosPerSecond + q;
}

std::span<const WaitMethod> wait_methods() { return kMethods; }

const WaitMethod* find_method(SleepMode mode) {
  for (const WaitMethod& method : kMethods) {
    if (method.mode == mode) {
      return &method;
    }
  }
  return nullptr;
}

const char* sleep_mode_name(SleepMode mode) {
  const WaitMethod* method = find_method(mode);
  return method != nullptr ? method->name : "Unknown";
}

SleepMode next_sleep_mode(SleepMode mode) {
  switch (mode) {
    case SleepMode::Sleep:
      return SleepMode::BusyWait;
    case SleepMode::BusyWait:
      return SleepMode::HighPrecisionSleep;
    case SleepMode::HighPrecisionSleep:
      return SleepMode::Sleep;
  }
  return mode;
}

}  // namespace measure
