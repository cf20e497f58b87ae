#include "measure/sleep_sampler.hpp"

#include <cstddef>

namespace measure {
namespace {

constexpr std::uint64_t kMicrosPerSecond = 1'000'000;
constexpr std::uint64_t kBusyWaitUs = 1000;
// The timer is due 1 ms after it is armed: relative, in 100 ns units.
constexpr std::int64_t kTimerDue100ns = -10'000;

}  // namespace

const char* sleep_mode_name(SleepMode mode) {
  switch (mode) {
    case SleepMode::Sleep:
      return "Sleep";
    case SleepMode::BusyWait:
      return "BusyWait";
    case SleepMode::HighPrecisionSleep:
      return "HighPrecisionSleep";
  }
  return "Unknown";
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

SleepSampler::SleepSampler() : SleepSampler(system_platform()) {}

SleepSampler::SleepSampler(Platform& platform)
    : frequency_(platform.query_performance_frequency()), platform_(platform) {}

std::uint64_t SleepSampler::now_us() {
  return counter_to_microseconds(platform_.query_performance_counter(), frequency_);
}

void SleepSampler::record(std::uint64_t duration_us, std::uint64_t resumes_before) {
  // The process was suspended during the wait (Ctrl+Z, SIGSTOP): it measured
  // the suspension, not the wait.
  if (platform_.resume_count() != resumes_before) {
    return;
  }
  samples_.push_back(duration_us);
  if (samples_.size() > max_samples_) {
    samples_.erase(samples_.begin(), samples_.begin() + static_cast<std::ptrdiff_t>(samples_.size() - max_samples_));
  }
}

void SleepSampler::sleep_pass() {
  const std::uint64_t resumes = platform_.resume_count();
  const std::uint64_t start = now_us();
  platform_.sleep(1);
  const std::uint64_t end = now_us();
  record(end - start, resumes);
}

void SleepSampler::busy_wait_pass() {
  const std::uint64_t resumes = platform_.resume_count();
  const std::uint64_t start = now_us();
  const std::uint64_t target = start + kBusyWaitUs;
  std::uint64_t t = now_us();
  while (t < target) {
    t = now_us();
  }
  record(t - start, resumes);
}

void SleepSampler::timer_pass() {
  TimerHandle timer = platform_.create_waitable_timer();
  if (timer == nullptr) {
    sleep_pass();
    return;
  }
  const std::uint64_t resumes = platform_.resume_count();
  const std::uint64_t start = now_us();
  if (!platform_.set_waitable_timer(timer, kTimerDue100ns)) {
    // An unarmed timer would never fire: make this a sleep pass instead.
    platform_.close_handle(timer);
    sleep_pass();
    return;
  }
  platform_.wait_for_single_object(timer);
  const std::uint64_t end = now_us();
  platform_.close_handle(timer);
  record(end - start, resumes);
}

void SleepSampler::measure(std::int32_t duration_ms) {
  if (frequency_ <= 0) {
    return;
  }
  const std::uint64_t deadline = now_us() + static_cast<std::uint64_t>(static_cast<std::int64_t>(duration_ms) * 1000);
  if (now_us() >= deadline) {
    return;
  }
  do {
    switch (mode_) {
      case SleepMode::Sleep:
        sleep_pass();
        break;
      case SleepMode::BusyWait:
        busy_wait_pass();
        break;
      case SleepMode::HighPrecisionSleep:
        timer_pass();
        break;
      default:
        break;
    }
  } while (now_us() < deadline);
}

void SleepSampler::clear() { samples_.clear(); }

analysis::SampleStats SleepSampler::compute_stats() const { return analysis::compute_stats(samples_, frequency_); }

}  // namespace measure
