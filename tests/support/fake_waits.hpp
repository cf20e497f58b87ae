#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "measure/waits.hpp"

namespace testing_support {

// Scripted waits at 10 MHz: every counter reading advances the counter by
// `tick`, every sleep by `wait_counts`, a timer wait by the time it was armed
// for and `timer_late_counts`, and making or closing a timer or reading the
// CPU clock by `overhead_counts`, so a timestamp taken on the wrong side of
// those shows in the sample. The thread's CPU time is the counter readings'
// ticks (a spin). Thread-safe; tests read its fields through `locked` while
// a sampling thread runs.
class FakeWaits : public measure::Waits {
 public:
  std::int64_t frequency = 10'000'000;
  std::int64_t counter = 0;
  std::int64_t tick = 1;
  std::int64_t wait_counts = 10'000;
  std::int64_t overhead_counts = 50'000;
  std::int64_t timer_late_counts = 0;
  std::int64_t cpu_counts = 0;
  bool timer_creation_fails = false;
  bool timer_arming_fails = false;
  bool high_resolution_refused = false;
  bool cpu_unknown = false;
  bool thread_priority_refused = false;
  int open_timers = 0;
  std::function<void()> on_read;  // run inside every counter reading, e.g. to throw
  std::function<void()> on_wait;  // run inside every wait, e.g. to throw
  int process_priority_requests = 0;
  int process_priority_restores = 0;
  int thread_priority_requests = 0;
  int waits = 0;
  int waits_at_normal_priority = 0;
  int timer_waits = 0;
  std::uint64_t resumes = 0;  // resumes after a suspension; on_wait may add one
  // The threads that last counted the resumes and waited.
  std::thread::id counted_resumes_on, waited_on;

  // Timer resolution in μs; a request is granted what `granted` says.
  std::optional<measure::TimerResolution> resolution = measure::TimerResolution{15'625, 500, 15'625};
  bool request_refused = false;
  std::vector<std::uint32_t> requests, releases;
  std::function<std::uint32_t(std::uint32_t)> granted = [](std::uint32_t us) { return us; };

  template <typename Fn>
  auto locked(Fn&& fn) {
    const std::lock_guard lock(mutex_);
    return fn(*this);
  }

  std::int64_t counter_frequency() override { return frequency; }
  std::int64_t read_counter() override {
    return locked([](auto& f) {
      if (f.on_read) {
        f.on_read();
      }
      return f.cpu_counts += f.tick, f.counter += f.tick;
    });
  }
  void sleep(std::chrono::microseconds) override { wait(std::nullopt); }
  bool sleeps_whole_milliseconds() override { return false; }
  std::unique_ptr<measure::OneShotTimer> create_timer(measure::TimerKind kind) override {
    return locked([kind](auto& f) -> std::unique_ptr<measure::OneShotTimer> {
      f.counter += f.overhead_counts;
      const bool refused = kind == measure::TimerKind::HighResolution && f.high_resolution_refused;
      return f.timer_creation_fails
                 ? nullptr
                 : (++f.open_timers, std::make_unique<Timer>(f, refused ? measure::TimerKind::Plain : kind));
    });
  }
  std::optional<std::uint64_t> thread_cpu_ns() override {
    return locked([](auto& f) -> std::optional<std::uint64_t> {
      f.counter += f.overhead_counts;
      return f.cpu_unknown ? std::nullopt : std::optional(static_cast<std::uint64_t>(f.cpu_counts) * 100);
    });
  }
  bool raise_process_priority() override {
    return locked([](auto& f) { return ++f.process_priority_requests; });
  }
  void restore_process_priority() override {
    locked([](auto& f) { ++f.process_priority_restores; });
  }
  bool raise_thread_priority() override {
    raised_ = true;
    return locked([](auto& f) { return ++f.thread_priority_requests, !f.thread_priority_refused; });
  }
  std::optional<measure::TimerResolution> query_timer_resolution() override {
    return locked([](auto& f) { return f.resolution; });
  }
  std::optional<std::uint32_t> request_timer_resolution(std::uint32_t us) override {
    return locked([us](auto& f) -> std::optional<std::uint32_t> {
      f.requests.push_back(us);
      if (f.request_refused || !f.resolution) {
        return std::nullopt;
      }
      return f.resolution->current_us = f.granted(us);
    });
  }
  void release_timer_resolution(std::uint32_t us) override {
    locked([us](auto& f) { f.releases.push_back(us); });
  }
  measure::TimerRequestKept keep_timer_request_when_hidden() override { return measure::TimerRequestKept::Refused; }
  std::uint64_t resume_count() override {
    return locked([](auto& f) { return f.resumes; });
  }
  void ready_to_wait() override {}
  void measure_on_this_thread() override {
    locked([](auto& f) { f.counted_resumes_on = std::this_thread::get_id(); });
  }

 private:
  class Timer final : public measure::OneShotTimer {
   public:
    Timer(FakeWaits& fake, measure::TimerKind kind) : OneShotTimer(kind), fake_(fake) {}
    ~Timer() override {
      fake_.locked([](auto& f) { f.counter += f.overhead_counts, --f.open_timers; });
    }
    bool arm(std::chrono::microseconds after) override {
      armed_counts_ = after.count() * 10;
      return fake_.locked([&](auto& f) { return !f.timer_arming_fails && after.count() > 0; });
    }
    void wait() override {
      fake_.locked([](auto& f) { ++f.timer_waits; });
      fake_.wait(armed_counts_);
    }

   private:
    FakeWaits& fake_;
    std::int64_t armed_counts_ = 0;
  };

  // A sleep's `wait_counts`, or a timer's armed counts and its lateness.
  void wait(std::optional<std::int64_t> armed_counts) {
    const std::lock_guard lock(mutex_);
    ++waits;
    waits_at_normal_priority += raised_ ? 0 : 1;
    waited_on = std::this_thread::get_id();
    if (on_wait) {
      on_wait();
    }
    counter += armed_counts ? *armed_counts + timer_late_counts : wait_counts;
  }

  static inline thread_local bool raised_ = false;
  std::mutex mutex_;
};

}  // namespace testing_support
