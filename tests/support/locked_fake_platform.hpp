#pragma once

#include <atomic>
#include <mutex>
#include <utility>

#include "support/fake_platform.hpp"

namespace testing_support {

// The scripted fake for tests where a second thread calls the platform: every
// call reaches the inner fake under one mutex, and the test reads or scripts
// it under the same mutex through `locked`. Priority requests are logged in
// `calls` too, so their order against the waits can be checked. `live_threads`
// counts the threads that asked for time-critical priority and have not ended
// yet.
class LockedFakePlatform : public measure::Platform {
 public:
  // Runs `fn` on the inner fake with the lock held and returns its result.
  template <typename Fn>
  auto locked(Fn&& fn) {
    const std::lock_guard lock(mutex_);
    return std::forward<Fn>(fn)(fake_);
  }

  int live_threads() const { return live_threads_.load(); }

  std::int64_t query_performance_frequency() override {
    return locked([](FakePlatform& f) { return f.query_performance_frequency(); });
  }
  std::int64_t query_performance_counter() override {
    return locked([](FakePlatform& f) { return f.query_performance_counter(); });
  }
  void sleep(std::uint32_t ms) override {
    locked([ms](FakePlatform& f) { f.sleep(ms); });
  }
  measure::TimerHandle create_waitable_timer() override {
    return locked([](FakePlatform& f) { return f.create_waitable_timer(); });
  }
  bool set_waitable_timer(measure::TimerHandle t, std::int64_t due) override {
    return locked([&](FakePlatform& f) { return f.set_waitable_timer(t, due); });
  }
  void wait_for_single_object(measure::TimerHandle t) override {
    locked([t](FakePlatform& f) { f.wait_for_single_object(t); });
  }
  void close_handle(measure::TimerHandle t) override {
    locked([t](FakePlatform& f) { f.close_handle(t); });
  }

  bool set_priority_class_realtime() override {
    return locked([](FakePlatform& f) {
      f.calls.emplace_back("priority class");
      return f.set_priority_class_realtime();
    });
  }

  bool set_thread_priority_time_critical() override {
    // Destroyed when the calling thread ends, after everything it ran.
    struct Alive {
      std::atomic<int>* count = nullptr;
      ~Alive() {
        if (count != nullptr) {
          --*count;
        }
      }
    };
    thread_local Alive alive;
    if (alive.count == nullptr) {
      alive.count = &live_threads_;
      ++live_threads_;
    }
    return locked([](FakePlatform& f) {
      f.calls.emplace_back("thread priority");
      return f.set_thread_priority_time_critical();
    });
  }

  measure::NtStatus nt_query_timer_resolution(std::uint32_t& c, std::uint32_t& f, std::uint32_t& cur) override {
    return locked([&](FakePlatform& fake) { return fake.nt_query_timer_resolution(c, f, cur); });
  }
  measure::NtStatus nt_set_timer_resolution(std::uint32_t desired, bool set, std::uint32_t& actual) override {
    return locked([&](FakePlatform& f) { return f.nt_set_timer_resolution(desired, set, actual); });
  }

 private:
  std::mutex mutex_;
  FakePlatform fake_;
  std::atomic<int> live_threads_{0};
};

}  // namespace testing_support
