#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "measure/platform.hpp"

namespace testing_support {

// A scripted platform at 10 MHz: every counter reading advances the counter
// by `tick`, every sleep or timer wait by `wait_counts`, and making or closing
// a timer by `overhead_counts`, so a timestamp taken on the wrong side of
// those shows in the sample. The process parts do nothing, but for a stop
// signal caught at the `signal_at`th check. Thread-safe; tests read its fields
// through `locked` while a sampling thread runs.
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
  int process_priority_requests = 0;
  int thread_priority_requests = 0;
  int waits = 0;
  int waits_at_normal_priority = 0;
  int timer_waits = 0;
  std::uint64_t resumes = 0;  // resumes after a suspension; on_wait may add one
  int signal_at = 0;          // the check of caught_stop_signal that finds SIGTERM (0: none)

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
    return locked([](auto& f) { return f.counter += f.tick; });
  }
  void sleep(std::chrono::microseconds) override { wait(); }
  std::unique_ptr<measure::OneShotTimer> create_timer() override {
    return locked([](auto& f) -> std::unique_ptr<measure::OneShotTimer> {
      f.counter += f.overhead_counts;
      return f.timer_creation_fails ? nullptr : (++f.open_timers, std::make_unique<Timer>(f));
    });
  }
  bool raise_process_priority() override {
    return locked([](auto& f) { return ++f.process_priority_requests; });
  }
  bool raise_thread_priority() override {
    raised_ = true;
    return locked([](auto& f) { return ++f.thread_priority_requests; });
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
  void count_resumes_here() override {}
  bool suspension_requested() override { return false; }
  void suspend() override {}
  void hold_stop_signals() override {}
  void catch_stop_signals() override {}
  int caught_stop_signal() override {
    return locked([](auto& f) { return ++f.signal_checks == f.signal_at ? 15 : 0; });
  }
  int end_by_signal(int signal) override { return 128 + signal; }
  void prepare_console() override {}
  bool input_is_terminal() override { return false; }
  bool output_is_terminal() override { return false; }
  bool error_is_terminal() override { return false; }
  measure::TerminalState terminal_state() override { return measure::TerminalState::Own; }
  measure::SystemInfo system_info() override { return {"Fake", "1", "#1", "x86_64", ""}; }

 private:
  class Timer final : public measure::OneShotTimer {
   public:
    explicit Timer(FakePlatform& fake) : fake_(fake) {}
    ~Timer() override {
      fake_.locked([](auto& f) { f.counter += f.overhead_counts, --f.open_timers; });
    }
    bool arm(std::chrono::microseconds after) override {
      return fake_.locked([&](auto& f) { return !f.timer_arming_fails && after.count() > 0; });
    }
    void wait() override {
      fake_.locked([](auto& f) { ++f.timer_waits; });
      fake_.wait();
    }

   private:
    FakePlatform& fake_;
  };

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
  int signal_checks = 0;
  std::mutex mutex_;
};

}  // namespace testing_support
