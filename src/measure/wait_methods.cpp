#include "measure/wait_methods.hpp"

#include <algorithm>
#include <array>
#include <cstdint>

#include "analysis/latency_summary.hpp"

namespace measure {
namespace {

constexpr std::uint64_t kMicrosPerSecond = 1'000'000;

std::uint64_t interval_us(const WaitContext& context) {
  return context.interval.count() > 0 ? static_cast<std::uint64_t>(context.interval.count()) : 0;
}

// Takes the timestamps of one wait, the thread's CPU time outside them, and
// outside that the CPU it is on.
class Stopwatch {
 public:
  explicit Stopwatch(WaitContext& context) : context_(context) {
    if (context.placement != nullptr) {
      wait_.start_cpu = context.placement->current_cpu();
    }
    if (context.read_cpu) {
      cpu_before_ = context.waits.thread_cpu_ns();
    }
    wait_.start_us = context.now_us();
  }
  std::uint64_t start_us() const { return wait_.start_us; }
  TimedWait stop(bool fell_back = false) { return stop_at(context_.now_us(), fell_back); }
  // With the reading that ended the wait.
  TimedWait stop_at(std::uint64_t end_us, bool fell_back) {
    wait_.end_us = end_us;
    if (cpu_before_) {
      if (const auto after = context_.waits.thread_cpu_ns()) {
        wait_.cpu_ns = *after - *cpu_before_;
      }
    }
    if (context_.placement != nullptr) {
      wait_.end_cpu = context_.placement->current_cpu();
    }
    wait_.fell_back = fell_back;
    return wait_;
  }

 private:
  WaitContext& context_;
  std::optional<std::uint64_t> cpu_before_;
  TimedWait wait_;
};

TimedWait sleep_wait(WaitContext& context) {
  Stopwatch watch(context);
  context.waits.sleep(context.interval);
  return watch.stop();
}

// Reads the counter, never yielding, from the reading `now` on until
// `target`; the reading that reached it.
std::uint64_t spin_until(const WaitContext& context, std::uint64_t target, std::uint64_t now) {
  while (now < target) {
    now = context.now_us();
  }
  return now;
}

TimedWait busy_wait(WaitContext& context) {
  Stopwatch watch(context);
  return watch.stop_at(spin_until(context, watch.start_us() + interval_us(context), context.now_us()), false);
}

// Waits on `timer`, made before the first timestamp and closed after the
// second. One that could not be made or armed (an unarmed one would never
// fire) gives a sleep instead, counted as a fallback, as is a plain timer
// given for a high-resolution one.
TimedWait timer_wait_of(WaitContext& context, TimerKind kind) {
  {
    const auto timer = context.waits.create_timer(kind);
    if (timer) {
      Stopwatch watch(context);
      if (timer->arm(context.interval)) {
        timer->wait();
        return watch.stop(timer->kind() != kind);
      }
    }
  }
  TimedWait wait = sleep_wait(context);
  wait.fell_back = true;
  return wait;
}

TimedWait timer_wait(WaitContext& context) { return timer_wait_of(context, TimerKind::Plain); }

TimedWait high_resolution_wait(WaitContext& context) { return timer_wait_of(context, TimerKind::HighResolution); }

// The high-resolution timer until a margin before the deadline, then a spin
// to it: never early, and on a CPU only for the margin.
TimedWait hybrid_wait(WaitContext& context) {
  const std::uint64_t interval = interval_us(context);
  const std::uint64_t margin = context.margin.margin_us(interval);
  const auto timer = margin < interval ? context.waits.create_timer(TimerKind::HighResolution) : nullptr;
  bool fell_back = margin < interval && (!timer || timer->kind() != TimerKind::HighResolution);
  Stopwatch watch(context);
  const std::uint64_t timer_due = watch.start_us() + interval - margin;
  std::optional<std::uint64_t> fired;
  if (timer && timer->arm(std::chrono::microseconds{interval - margin})) {
    timer->wait();
    fired = context.now_us();
  } else {
    fell_back = fell_back || timer != nullptr;
  }
  // The timer's wake-up reading is the spin's first, so nothing but the
  // wait lies between the timestamps.
  const TimedWait wait =
      watch.stop_at(spin_until(context, watch.start_us() + interval, fired ? *fired : context.now_us()), fell_back);
  if (fired) {
    context.margin.add(*fired > timer_due ? *fired - timer_due : 0);
  }
  return wait;
}

constexpr std::array kMethods{
    WaitMethod{SleepMode::Sleep, "Sleep", "sleep", "", sleep_wait},
    WaitMethod{SleepMode::BusyWait, "BusyWait", "busywait", "", busy_wait},
    WaitMethod{SleepMode::HighPrecisionSleep, "HighPrecisionSleep", "timer", "Sleep", timer_wait},
    WaitMethod{SleepMode::HighResolutionTimer, "HighResolutionTimer", "hrtimer", "a plain timer", high_resolution_wait},
    WaitMethod{SleepMode::Hybrid, "Hybrid", "hybrid", "a plain timer", hybrid_wait},
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

std::uint64_t TimerMargin::margin_us(std::uint64_t interval_us) const {
  if (seen_ < kFirst) {
    return interval_us / 2;
  }
  std::array<std::uint64_t, kWindow> sorted = overshoots_us_;
  const std::size_t count = std::min(seen_, kWindow);
  const auto p99 = sorted.begin() + static_cast<std::ptrdiff_t>(analysis::nearest_rank_index(count, 990));
  std::nth_element(sorted.begin(), p99, sorted.begin() + static_cast<std::ptrdiff_t>(count));
  return std::min(*p99, interval_us);
}

void TimerMargin::add(std::uint64_t overshoot_us) { overshoots_us_[seen_++ % kWindow] = overshoot_us; }

std::span<const WaitMethod> wait_methods() { return kMethods; }

std::span<const WaitMethod> interface_methods() { return std::span(kMethods).first(3); }

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

}  // namespace measure
