#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "measure/platform.hpp"

namespace testing_support {

// A platform whose counter is scripted: each reading takes the next scripted
// value, or, once the script is used up, advances by `tick` counts. Every
// call is written to `calls`, so tests can check what happened between two
// readings.
class FakePlatform : public measure::Platform {
 public:
  std::int64_t frequency = 10'000'000;
  std::deque<std::int64_t> script;
  std::int64_t counter = 0;
  std::int64_t tick = 1;
  // Counts the counter advances during a sleep or a timer wait.
  std::int64_t sleep_counts = 10'000;
  bool timer_creation_fails = false;
  bool timer_arming_fails = false;
  std::vector<std::string> calls;
  int open_timers = 0;
  // Run inside sleep(), e.g. to throw.
  std::function<void()> on_sleep;

  // Timer resolution, in 100 ns units.
  measure::NtStatus query_status = 0;
  measure::NtStatus set_status = 0;
  std::uint32_t coarsest = 156'250;
  std::uint32_t finest = 5'000;
  std::uint32_t current = 156'250;
  std::vector<std::uint32_t> set_requests;
  // What a successful request reports; by default the value asked for.
  std::function<std::uint32_t(std::uint32_t)> granted = [](std::uint32_t v) { return v; };

  int priority_class_requests = 0;
  int thread_priority_requests = 0;

  std::int64_t query_performance_frequency() override { return frequency; }

  std::int64_t query_performance_counter() override {
    calls.emplace_back("counter");
    if (!script.empty()) {
      counter = script.front();
      script.pop_front();
    } else {
      counter += tick;
    }
    return counter;
  }

  void sleep(std::uint32_t ms) override {
    calls.push_back("sleep " + std::to_string(ms));
    if (on_sleep) {
      on_sleep();
    }
    counter += sleep_counts;
  }

  measure::TimerHandle create_waitable_timer() override {
    calls.emplace_back("create");
    if (timer_creation_fails) {
      return nullptr;
    }
    ++open_timers;
    return &open_timers;
  }

  bool set_waitable_timer(measure::TimerHandle, std::int64_t due) override {
    calls.push_back("arm " + std::to_string(due));
    return !timer_arming_fails;
  }

  void wait_for_single_object(measure::TimerHandle) override {
    calls.emplace_back("wait");
    counter += sleep_counts;
  }

  void close_handle(measure::TimerHandle) override {
    calls.emplace_back("close");
    --open_timers;
  }

  bool set_priority_class_realtime() override {
    ++priority_class_requests;
    return true;
  }

  bool set_thread_priority_time_critical() override {
    ++thread_priority_requests;
    return true;
  }

  measure::NtStatus nt_query_timer_resolution(std::uint32_t& c, std::uint32_t& f, std::uint32_t& cur) override {
    if (query_status == 0) {
      c = coarsest;
      f = finest;
      cur = current;
    }
    return query_status;
  }

  measure::NtStatus nt_set_timer_resolution(std::uint32_t desired, bool, std::uint32_t& actual) override {
    set_requests.push_back(desired);
    if (set_status == 0) {
      current = granted(desired);
      actual = current;
    }
    return set_status;
  }
};

}  // namespace testing_support
