#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "measure/platform.hpp"

namespace testing_support {

// A scripted platform: each counter reading advances the counter by `tick`,
// each sleep or timer wait by `sleep_counts`. Every call is written to
// `calls`, so tests can check what happened between two readings. Calls take
// a mutex; while a sampling thread runs, tests use the fake through `locked`.
class FakePlatform : public measure::Platform {
 public:
  std::int64_t frequency = 10'000'000;
  std::int64_t counter = 0;
  std::int64_t tick = 1;
  std::int64_t sleep_counts = 10'000;
  bool timer_creation_fails = false;
  bool timer_arming_fails = false;
  int open_timers = 0;
  std::vector<std::string> calls;
  // Run inside sleep() with the mutex held, e.g. to throw.
  std::function<void()> on_sleep;
  int priority_class_requests = 0;
  int thread_priority_requests = 0;

  // Timer resolution, in 100 ns units; a request is granted what `granted` says.
  measure::NtStatus query_status = 0;
  measure::NtStatus set_status = 0;
  std::uint32_t coarsest = 156'250;
  std::uint32_t finest = 5'000;
  std::uint32_t current = 156'250;
  std::vector<std::uint32_t> set_requests;
  std::function<std::uint32_t(std::uint32_t)> granted = [](std::uint32_t v) { return v; };

  template <typename Fn>
  auto locked(Fn&& fn) {
    const std::lock_guard lock(mutex_);
    return fn(*this);
  }

  // Threads that asked for time-critical priority and have not ended yet.

  std::int64_t query_performance_frequency() override { return frequency; }
  std::int64_t query_performance_counter() override {
    const std::lock_guard lock(mutex_);
    calls.emplace_back("counter");
    return counter += tick;
  }
  void sleep(std::uint32_t ms) override {
    const std::lock_guard lock(mutex_);
    calls.push_back("sleep " + std::to_string(ms));
    if (on_sleep) {
      on_sleep();
    }
    counter += sleep_counts;
  }
  measure::TimerHandle create_waitable_timer() override {
    const std::lock_guard lock(mutex_);
    calls.emplace_back("create");
    if (timer_creation_fails) {
      return nullptr;
    }
    ++open_timers;
    return &open_timers;
  }
  bool set_waitable_timer(measure::TimerHandle, std::int64_t due) override {
    const std::lock_guard lock(mutex_);
    calls.push_back("arm " + std::to_string(due));
    return !timer_arming_fails;
  }
  void wait_for_single_object(measure::TimerHandle) override {
    const std::lock_guard lock(mutex_);
    calls.emplace_back("wait");
    counter += sleep_counts;
  }
  void close_handle(measure::TimerHandle) override {
    const std::lock_guard lock(mutex_);
    calls.emplace_back("close");
    --open_timers;
  }
  bool set_priority_class_realtime() override {
    const std::lock_guard lock(mutex_);
    calls.emplace_back("priority class");
    ++priority_class_requests;
    return true;
  }
  bool set_thread_priority_time_critical() override {
    const std::lock_guard lock(mutex_);
    calls.emplace_back("thread priority");
    ++thread_priority_requests;
    return true;
  }
  measure::NtStatus nt_query_timer_resolution(std::uint32_t& c, std::uint32_t& f, std::uint32_t& cur) override {
    const std::lock_guard lock(mutex_);
    if (query_status == 0) {
      c = coarsest;
      f = finest;
      cur = current;
    }
    return query_status;
  }
  measure::NtStatus nt_set_timer_resolution(std::uint32_t desired, bool, std::uint32_t& actual) override {
    const std::lock_guard lock(mutex_);
    set_requests.push_back(desired);
    if (set_status == 0) {
      actual = current = granted(desired);
    }
    return set_status;
  }

 private:
  std::mutex mutex_;
};

}  // namespace testing_support
