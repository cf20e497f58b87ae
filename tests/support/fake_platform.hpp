#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "measure/platform.hpp"

namespace testing_support {

// A scripted platform at 10 MHz: every counter reading advances the counter
// by `tick`, every sleep or timer wait by `wait_counts`, and creating or
// closing a timer by `overhead_counts`, so a timestamp taken on the wrong side
// of those shows in the sample. Thread-safe; tests read its fields through
// `locked` while a sampling thread runs.
class FakePlatform : public measure::Platform {
 public:
  std::int64_t frequency = 10'000'000;
  std::int64_t counter = 0;
  std::int64_t tick = 1;
  std::int64_t wait_counts = 10'000;
  std::int64_t overhead_counts = 50'000;
  bool timer_creation_fails = false;
  bool timer_arming_fails = false;
  int open_timers = 0;
  std::function<void()> on_wait;  // run inside every wait, e.g. to throw
  int priority_class_requests = 0;
  int thread_priority_requests = 0;
  int waits = 0;
  int waits_at_normal_priority = 0;
  int timer_waits = 0;
  std::uint64_t resumes = 0;  // resumes after a suspension; on_wait may add one

  // Timer resolution in 100 ns units; a request is granted what `granted` says.
  measure::NtStatus query_status = 0;
  measure::NtStatus set_status = 0;
  std::uint32_t coarsest = 156'250, finest = 5'000, current = 156'250;
  std::vector<std::uint32_t> set_requests;
  std::function<std::uint32_t(std::uint32_t)> granted = [](std::uint32_t v) { return v; };

  template <typename Fn>
  auto locked(Fn&& fn) {
    const std::lock_guard lock(mutex_);
    return fn(*this);
  }

  std::int64_t query_performance_frequency() override { return frequency; }
  std::int64_t query_performance_counter() override {
    return locked([](auto& f) { return f.counter += f.tick; });
  }
  void sleep(std::uint32_t) override { wait(); }
  measure::TimerHandle create_waitable_timer() override {
    return locked([](auto& f) -> measure::TimerHandle {
      f.counter += f.overhead_counts;
      return f.timer_creation_fails ? nullptr : (++f.open_timers, &f.open_timers);
    });
  }
  bool set_waitable_timer(measure::TimerHandle, std::int64_t due) override {
    return locked([due](auto& f) { return !f.timer_arming_fails && due == -10'000; });
  }
  void wait_for_single_object(measure::TimerHandle) override {
    locked([](auto& f) { ++f.timer_waits; });
    wait();
  }
  void close_handle(measure::TimerHandle) override {
    locked([](auto& f) { f.counter += f.overhead_counts, --f.open_timers; });
  }
  bool set_priority_class_realtime() override {
    return locked([](auto& f) { return ++f.priority_class_requests; });
  }
  bool set_thread_priority_time_critical() override {
    raised_ = true;
    return locked([](auto& f) { return ++f.thread_priority_requests; });
  }
  measure::NtStatus nt_query_timer_resolution(std::uint32_t& c, std::uint32_t& f, std::uint32_t& cur) override {
    const std::lock_guard lock(mutex_);
    if (query_status == 0) {
      c = coarsest, f = finest, cur = current;
    }
    return query_status;
  }
  std::uint64_t resume_count() override {
    return locked([](auto& f) { return f.resumes; });
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
  void wait() {
    const std::lock_guard lock(mutex_);
    ++waits;
    waits_at_normal_priority += raised_ ? 0 : 1;
    if (on_wait) {
      on_wait();
    }
    counter += wait_counts;
  }

  static inline thread_local bool raised_ = false;
  std::mutex mutex_;
};

}  // namespace testing_support
