// What a report keeps of its waits while it measures: counted, never kept one
// by one in a run of a set duration; the spikes with their moment and CPU,
// read after the timestamps, marked in the trace only after the step.
#include "measure/wait_tally.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "measure/sleep_sampler.hpp"
#include "support/fake_placement.hpp"
#include "support/fake_time_of_day.hpp"
#include "support/fake_trace.hpp"
#include "support/fake_waits.hpp"

namespace {

using namespace std::chrono_literals;
using measure::SleepMode;
using testing_support::FakeWaits;

// Reading the time of day or the CPU costs the fake `cost` counts: a
// reading taken between a wait's timestamps would show in its length. The
// thread is on CPU 3.
struct CostlyReadings : testing_support::FakeTimeOfDay, testing_support::FakePlacement {
  explicit CostlyReadings(FakeWaits& fake) : waits(fake) {
    unpinned = [] { return std::optional<std::uint32_t>(3); };
  }
  std::int64_t utc_now_ms() override { return pay(), FakeTimeOfDay::utc_now_ms(); }
  std::optional<std::uint32_t> current_cpu() override { return pay(), FakePlacement::current_cpu(); }
  void pay() {
    waits.locked([this](FakeWaits& f) { f.counter += cost; });
  }
  FakeWaits& waits;
  std::int64_t cost = 0;
};

TEST(WaitTally, SpikesAreReadAfterTheTimestampsAndMarkedAfterTheStep) {
  FakeWaits fake;
  fake.tick = 0;
  fake.wait_counts = 2'500;  // 250 μs a sleep, four a step of 1 ms; over 200 μs every one is a spike
  CostlyReadings readings(fake);
  testing_support::FakeTrace trace;
  trace.writable = true;
  ASSERT_TRUE(trace.open_marker());
  measure::SpikeLog spikes(200, readings, &trace);
  measure::WaitTally tally(200, &spikes, 2);
  std::vector<std::size_t> marks_at_each_wait;
  fake.on_wait = [&] { marks_at_each_wait.push_back(trace.lines().size()); };
  // The CPU the wait ended on is the one the sampler read for it, not read again.
  measure::SleepSampler sampler(fake, {SleepMode::Sleep, 0, measure::Retention::KeepNone, 200us, false, true, &tally},
                                &readings);
  sampler.measure(1);
  EXPECT_TRUE(sampler.samples().empty()) << "counted, not kept";
  EXPECT_EQ(marks_at_each_wait, std::vector<std::size_t>(4, 0)) << "a mark written between the waits of a step";
  EXPECT_EQ(trace.lines().size(), 4U);
  readings.cost = 50'000;  // 5 ms: a step ends after its first wait
  trace.refusing = true;   // tracing switched off meanwhile
  sampler.measure(1);
  EXPECT_EQ(spikes.marked(), 4U) << "a mark the trace refused counted as made";
  EXPECT_EQ(tally.count(), 5U);
  EXPECT_EQ(tally.spikes(), 5U);
  ASSERT_EQ(spikes.kept().size(), 5U);
  for (const measure::Spike& spike : spikes.kept()) {
    EXPECT_EQ(spike.us, 250U) << "a reading fell between the timestamps";
    EXPECT_EQ(spike.cpu, 3U);
    EXPECT_EQ(spike.part, 2U);
  }
  EXPECT_LT(spikes.kept()[3].utc_ms, spikes.kept()[4].utc_ms);
  const auto lines = trace.lines();
  ASSERT_EQ(lines.size(), 4U);
  EXPECT_EQ(lines[3].substr(0, 50), "quorvane spike: Sleep waited 250 us, over 200 us; ");
  analysis::BoundedHistogram window;
  tally.swap_window(window);
  EXPECT_EQ(window.count(), 5U);
  EXPECT_EQ(window.max(), 250U);
}

measure::TimedWait wait_of(std::uint64_t start_us, std::uint64_t end_us) {
  measure::TimedWait wait;
  wait.start_us = start_us, wait.end_us = end_us;
  return wait;
}

// The first 10,000 are kept (and marked), the rest counted; the five
// longest of them all are kept too, the earlier of equals first.
TEST(WaitTally, KeepsTheFirstSpikesAndCountsTheRest) {
  testing_support::FakeTimeOfDay time_of_day;
  testing_support::FakeTrace trace;
  trace.writable = true;
  ASSERT_TRUE(trace.open_marker());
  measure::SpikeLog spikes(1'000, time_of_day, &trace);
  EXPECT_FALSE(spikes.note(SleepMode::Sleep, wait_of(0, 1'000), 0)) << "not longer than the limit";
  for (std::uint64_t i = 0; i < measure::SpikeLog::kKept + 5; ++i) {
    EXPECT_TRUE(spikes.note(SleepMode::BusyWait, wait_of(i, i + 1'001 + i), 0));
  }
  spikes.mark_new();
  EXPECT_EQ(spikes.total(), measure::SpikeLog::kKept + 5);
  ASSERT_EQ(spikes.kept().size(), measure::SpikeLog::kKept);
  EXPECT_EQ(spikes.kept().back().us, 1'000 + measure::SpikeLog::kKept);
  EXPECT_EQ(trace.lines().size(), measure::SpikeLog::kKept);
  EXPECT_EQ(spikes.marked(), measure::SpikeLog::kKept);
  const std::uint64_t longest = 1'005 + measure::SpikeLog::kKept;  // the last, after the first 10,000
  spikes.note(SleepMode::Sleep, wait_of(0, longest), 0);
  std::vector<std::uint64_t> lengths;
  for (const measure::Spike& spike : spikes.longest()) {
    lengths.push_back(spike.us);
  }
  EXPECT_EQ(lengths, (std::vector<std::uint64_t>{longest, longest, longest - 1, longest - 2, longest - 3}));
  EXPECT_EQ(spikes.longest()[0].mode, SleepMode::BusyWait) << "the earlier of equals first";
  EXPECT_EQ(spikes.longest()[1].mode, SleepMode::Sleep);
}

}  // namespace
