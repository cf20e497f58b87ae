#include "measure/sampling_engine.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "support/fake_placement.hpp"
#include "support/fake_waits.hpp"

namespace {

using namespace std::chrono_literals;
using measure::SamplingEngine;
using measure::SleepMode;
using testing_support::FakeWaits;

// Waits until the thread has kept `count` samples, read as the interface
// reads them; false after 10 s.
bool measured(SamplingEngine& engine, std::mutex& data_mutex, std::size_t count) {
  for (const auto end = std::chrono::steady_clock::now() + 10s; std::chrono::steady_clock::now() < end;
       std::this_thread::sleep_for(1ms)) {
    const std::lock_guard lock(data_mutex);
    if (engine.sampler(0).samples().size() >= count) {
      return true;
    }
  }
  return false;
}

// Never started, it makes no thread and asks for nothing. Started, its own
// thread waits, raised first, counting where it waits the resumes after a
// suspension (so that a wait it was stopped in is dropped); it reads the
// resolution once a step has put a request into effect there (on Linux its
// timer slack). A second start changes nothing; stopped (the s key), it
// leaves the process as it was and starts again on a new thread.
TEST(SamplingEngine, StartsStopsAndStartsAgain) {
  FakeWaits waits;
  std::mutex data_mutex;
  { SamplingEngine idle(waits, data_mutex, {{}}); }
  EXPECT_EQ(waits.process_priority_requests + waits.thread_priority_requests + waits.waits, 0);
  bool counted_where_it_waits = true;
  waits.on_wait = [&] {
    counted_where_it_waits &= waits.counted_resumes_on == std::this_thread::get_id();
    waits.resolution->current_us = 1'000;
  };
  SamplingEngine engine(waits, data_mutex, {{SleepMode::Sleep, 100'000}});  // room to grow after the stop
  EXPECT_FALSE(engine.condition_run(0).resolution);
  EXPECT_TRUE(engine.start());
  EXPECT_FALSE(engine.start());
  ASSERT_TRUE(measured(engine, data_mutex, 1));
  engine.stop();
  EXPECT_FALSE(engine.active());
  EXPECT_EQ(waits.process_priority_requests, 1);
  EXPECT_EQ(waits.thread_priority_requests, 1);
  EXPECT_EQ(waits.process_priority_restores, 1) << "the process left as it started";
  EXPECT_EQ(waits.waits_at_normal_priority, 0);
  EXPECT_NE(waits.waited_on, std::this_thread::get_id());
  EXPECT_TRUE(counted_where_it_waits);
  EXPECT_TRUE(engine.condition_run(0).thread_priority());
  ASSERT_TRUE(engine.condition_run(0).resolution);
  EXPECT_EQ(engine.condition_run(0).resolution->current_us, 1'000U);
  const std::size_t before = engine.sampler(0).samples().size();  // stopped: nothing adds to them
  engine.start();
  EXPECT_TRUE(engine.active());
  EXPECT_TRUE(measured(engine, data_mutex, before + 1)) << "no samples after the restart";
  EXPECT_EQ(waits.thread_priority_requests, 2);
}

// A step that fails is swallowed, and the thread pauses after it as after any
// step (without the pause, thousands of failures); it measures once the
// waits work again. A thread priority refused is said.
TEST(SamplingEngine, AFailedStepIsSwallowedAndPaused) {
  FakeWaits waits;
  waits.on_wait = [] { throw std::runtime_error("wait failed"); };
  waits.thread_priority_refused = true;
  std::mutex data_mutex;
  SamplingEngine engine(waits, data_mutex, {{}});
  const auto started = std::chrono::steady_clock::now();
  engine.start();
  std::this_thread::sleep_for(50ms);
  waits.locked([&](FakeWaits& f) {
    const auto pauses = (std::chrono::steady_clock::now() - started) / measure::kStepPause;
    EXPECT_GE(f.waits, 1);
    EXPECT_LE(f.waits, pauses + 1);
    f.on_wait = nullptr;
  });
  EXPECT_TRUE(measured(engine, data_mutex, 3)) << "the thread does not measure after a failure";
  engine.stop();
  EXPECT_FALSE(engine.condition_run(0).thread_priority());
}

// A report's run: one step of each method in turn, a full one left out, until
// every one is full.
TEST(SamplingEngine, InterleavesUntilEveryMethodIsFull) {
  FakeWaits waits;
  std::vector<int> timer_waits_at_each_wait;  // 0, then 1, … for a timer wait; unchanged for a sleep
  waits.on_wait = [&] { timer_waits_at_each_wait.push_back(waits.timer_waits); };
  std::mutex data_mutex;
  SamplingEngine engine(waits, data_mutex,
                        {{SleepMode::Sleep, 3, measure::Retention::KeepFirst},
                         {SleepMode::HighPrecisionSleep, 5, measure::Retention::KeepFirst}});
  engine.start();
  ASSERT_TRUE(engine.wait_for_end(10s));
  EXPECT_EQ(timer_waits_at_each_wait, (std::vector<int>{0, 1, 1, 2, 2, 3, 4, 5}));
  EXPECT_EQ(engine.sampler(0).samples().size(), 3U);
  EXPECT_EQ(engine.sampler(1).samples().size(), 5U);
}

// Conditions take turns in phases of about the phase's length, each wait
// of a condition made in it: on a thread kept to its CPU, at its priority
// (raised: asked for, and given back after; normal: nothing asked), with its
// load threads running and no others. Every thread ends with the run.
TEST(SamplingEngine, ConditionsTakeTurnsInPhases) {
  FakeWaits waits;
  testing_support::FakePlacement placement;
  struct Wait {
    std::optional<std::uint32_t> cpu;
    std::size_t load_threads;
    bool operator==(const Wait&) const = default;
  };
  std::vector<Wait> seen;  // each wait's
  waits.on_wait = [&] { seen.push_back({placement.pinned_here(), measure::Load::running()}); };
  std::mutex data_mutex;
  const std::vector<measure::SamplerSetup> twelve{{SleepMode::Sleep, 12, measure::Retention::KeepFirst}};
  SamplingEngine engine(waits, &placement, data_mutex,
                        {{{measure::Priority::Raised, 0, 0}, twelve}, {{measure::Priority::Normal, 2, 1}, twelve}},
                        20ms);
  engine.start();
  ASSERT_TRUE(engine.wait_for_end(10s));
  engine.stop();
  EXPECT_EQ(measure::Load::running(), 0U) << "a load thread outlived the run";
  ASSERT_EQ(seen.size(), 24U);
  const Wait raised{0, 0}, loaded{1, 2};
  std::size_t runs = 0, longest = 0;
  for (std::size_t i = 0, run = 0; i < seen.size(); ++i) {
    ASSERT_TRUE(seen[i] == raised || seen[i] == loaded)
        << i << ": CPU " << seen[i].cpu.value_or(99) << ", load " << seen[i].load_threads;
    run = i > 0 && seen[i] == seen[i - 1] ? run + 1 : 1;
    runs += run == 1 ? 1 : 0;
    longest = std::max(longest, run);
  }
  EXPECT_GE(runs, 4U) << "each condition came back";
  EXPECT_GE(longest, 2U) << "conditions alternate wait by wait";
  const measure::ConditionRun& first = engine.condition_run(0);
  const measure::ConditionRun& second = engine.condition_run(1);
  EXPECT_GE(first.phases, 2U);
  EXPECT_EQ(waits.process_priority_requests, static_cast<int>(first.phases));
  EXPECT_EQ(waits.thread_priority_requests, static_cast<int>(first.phases));
  EXPECT_EQ(waits.process_priority_restores, static_cast<int>(first.phases));
  EXPECT_EQ(waits.waits_at_normal_priority, 12);
  EXPECT_TRUE(first.process_priority() && first.thread_priority());
  EXPECT_EQ(second.phases, static_cast<std::uint32_t>(placement.pins.size() - first.phases));
  EXPECT_FALSE(second.process_priority() || second.thread_priority()) << "nothing asked, nothing granted";
  EXPECT_GT(second.load.lived_ns, 0U);
  EXPECT_EQ(first.load.lived_ns, 0U);
  EXPECT_EQ(engine.sampler(0).costs().migrations + engine.sampler(1).costs().migrations, 0U);
}

}  // namespace
