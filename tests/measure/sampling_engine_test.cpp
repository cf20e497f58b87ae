#include "measure/sampling_engine.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "support/fake_waits.hpp"

namespace {

using namespace std::chrono_literals;
using measure::SamplingEngine;
using measure::SleepMode;
using testing_support::FakeWaits;

// Raised before its first wait, started once, a failing step swallowed and
// paused, and nothing measured once stopped.
TEST(SamplingEngine, RaisedFirstStartedOnceFailuresPausedAndStopped) {
  FakeWaits platform;
  std::mutex data_mutex;
  { SamplingEngine idle(platform, data_mutex, {{}}); }  // never started: no thread, no priority request
  EXPECT_EQ(platform.process_priority_requests + platform.thread_priority_requests, 0);
  platform.on_wait = [] { throw std::runtime_error("wait failed"); };
  SamplingEngine engine(platform, data_mutex, {{}});
  const auto started = std::chrono::steady_clock::now();
  engine.start();
  engine.start();  // already sampling: changes nothing
  std::this_thread::sleep_for(50ms);
  platform.locked([&](FakeWaits& f) {
    EXPECT_EQ(f.process_priority_requests + f.thread_priority_requests, 2);
    EXPECT_EQ(f.waits_at_normal_priority, 0) << "raised before its first wait";
    // Failed steps are swallowed, one a pause at most: without the pause, thousands.
    EXPECT_TRUE(f.waits >= 1 && f.waits <= (std::chrono::steady_clock::now() - started) / 5ms + 1) << f.waits;
    f.on_wait = nullptr;
  });
  const auto samples = [&] {
    const std::lock_guard lock(data_mutex);
    return engine.sampler(0).samples().size();
  };
  for (const auto end = std::chrono::steady_clock::now() + 15s; samples() < 3;) {
    ASSERT_LT(std::chrono::steady_clock::now(), end) << "the thread does not measure after a failure";
    std::this_thread::sleep_for(1ms);
  }
  engine.stop();
  EXPECT_FALSE(engine.active());
  const std::size_t last = samples();
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(samples(), last);
  EXPECT_TRUE(engine.thread_priority());
  EXPECT_EQ(engine.resolution_in_effect(), platform.resolution) << "read after the first step";
}

// A report's run: one step of each method in turn, a full one left out, until
// every one is full.
TEST(SamplingEngine, InterleavesUntilEveryMethodIsFull) {
  FakeWaits platform;
  std::vector<int> timer_waits_at_each_wait;  // 0, then 1, … for a timer wait; unchanged for a sleep
  platform.on_wait = [&] { timer_waits_at_each_wait.push_back(platform.timer_waits); };
  std::mutex data_mutex;
  SamplingEngine engine(platform, data_mutex,
                        {{SleepMode::Sleep, 3, measure::Retention::KeepFirst},
                         {SleepMode::HighPrecisionSleep, 5, measure::Retention::KeepFirst}});
  engine.start();
  ASSERT_TRUE(engine.wait_for_end(10s));
  EXPECT_EQ(timer_waits_at_each_wait, (std::vector<int>{0, 1, 1, 2, 2, 3, 4, 5}));
  EXPECT_EQ(engine.sampler(0).samples().size(), 3U);
  EXPECT_EQ(engine.sampler(1).samples().size(), 5U);
}

}  // namespace
