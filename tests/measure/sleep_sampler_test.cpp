#include "measure/sleep_sampler.hpp"
#include "measure/wait_methods.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <numeric>
#include <vector>

#include "analysis/latency_summary.hpp"
#include "support/fake_placement.hpp"
#include "support/fake_waits.hpp"

namespace {

using measure::counter_to_microseconds;
using measure::SleepMode;
using measure::SleepSampler;
using testing_support::FakeWaits;
using Samples = std::vector<std::uint64_t>;
using namespace std::chrono_literals;

// (That each reading is converted on its own, the sampler's test shows.)
TEST(CounterToMicroseconds, IsTheExactQuotientForEveryCounter) {
  EXPECT_EQ(counter_to_microseconds(-5, 10'000'000), 0U);
  EXPECT_EQ(counter_to_microseconds(5, 0), 0U);
  // Where counter × 10^6 no longer fits in 64 bits (a compiler extension
  // gives the exact quotient to compare with).
  __extension__ using Wide = unsigned __int128;
  const std::int64_t max = std::numeric_limits<std::int64_t>::max();
  for (const std::int64_t f : {std::int64_t{3'579'545}, std::int64_t{1'000'000'000'000'000'000}, max}) {
    for (const std::int64_t c : {max, max / 3, std::int64_t{18'446'744'073'710}, f - 1, f / 2, f / 5}) {
      const Wide exact = static_cast<Wide>(c) * 1'000'000 / static_cast<Wide>(f);
      EXPECT_EQ(counter_to_microseconds(c, f), static_cast<std::uint64_t>(exact)) << c << " / " << f;
    }
  }
}

// The readings enclose the wait alone (creating and closing a timer cost the
// fake 5 ms each), a timer that cannot be made or armed gives a sleep, and a
// wait the process was suspended in (resumed during it) gives no sample.
TEST(SleepSampler, EachPassTimesItsWaitAlone) {
  using enum SleepMode;
  struct Case {
    SleepMode mode;
    bool creation_fails, arming_fails;
    int timer_waits;
    std::uint64_t sample;
    bool suspended = false;
  };
  // 10,001 counts from reading 12,345,679 are 1001 μs; from one reading later, 1000.
  for (const auto& c : {Case{Sleep, false, false, 0, 1001}, Case{HighPrecisionSleep, false, false, 1, 1001},
                        Case{HighResolutionTimer, false, false, 1, 1001},
                        Case{HighPrecisionSleep, true, false, 0, 1001}, Case{HighPrecisionSleep, false, true, 0, 1000},
                        Case{Sleep, false, false, 0, 0, true}, Case{HighPrecisionSleep, false, false, 1, 0, true}}) {
    SCOPED_TRACE(testing::Message() << static_cast<int>(c.mode) << c.creation_fails << c.arming_fails);
    FakeWaits fake;
    fake.timer_creation_fails = c.creation_fails;
    fake.timer_arming_fails = c.arming_fails;
    fake.counter = 12'345'676;  // the wait starts at reading 12,345,679
    if (c.suspended) {
      fake.on_wait = [&fake] { ++fake.resumes; };
    }
    // The CPU clock is read too: outside the timestamps it costs them nothing.
    SleepSampler sampler(fake, {c.mode, 500, measure::Retention::KeepNewest, 1000us, true});
    sampler.measure(1);
    EXPECT_EQ(sampler.samples(), c.suspended ? Samples{} : Samples{c.sample});
    EXPECT_EQ(fake.timer_waits, c.timer_waits);
    EXPECT_EQ(fake.open_timers, 0);
    EXPECT_EQ(sampler.costs().fallbacks, c.creation_fails || c.arming_fails ? 1U : 0U);
  }
}

// The CPU of each wait is read outside its timestamps (a reading costs the
// fake 5 ms), at its start and its end: a wait counts as a migration when it
// ends elsewhere than it began, or, kept to a CPU, begins or ends elsewhere;
// a CPU the system will not say leaves the count unknown.
TEST(SleepSampler, CountsTheWaitsThatMigrated) {
  using CpuReadings = std::vector<std::optional<std::uint32_t>>;
  struct Case {
    CpuReadings readings;  // in turn, round again
    std::optional<std::uint32_t> pinned;
    std::uint64_t migrations;
    bool unknown;
  };
  for (const auto& c :
       {Case{{0, 1}, std::nullopt, 4, false}, Case{{1}, std::nullopt, 0, false}, Case{{1}, 1, 0, false},
        Case{{0}, 1, 4, false}, Case{{1, 0}, 1, 4, false}, Case{{1, std::nullopt}, std::nullopt, 0, true}}) {
    SCOPED_TRACE(testing::PrintToString(c.readings));
    FakeWaits fake;
    fake.tick = 0;
    fake.wait_counts = 2'500;  // 250 μs a sleep
    testing_support::FakePlacement placement;
    std::size_t next = 0;
    placement.unpinned = [&] { return c.readings[next++ % c.readings.size()]; };
    placement.on_read = [&] { fake.counter += 50'000; };
    SleepSampler sampler(fake, {SleepMode::Sleep, 500, measure::Retention::KeepNewest, 250us, true, true}, &placement,
                         c.pinned);
    for (int step = 0; step < 4; ++step) {
      sampler.measure(1);  // one wait: the readings outlast the step
    }
    EXPECT_EQ(sampler.samples(), Samples(4, 250)) << "a CPU reading inside the timestamps";
    EXPECT_EQ(placement.readings, 8);
    EXPECT_EQ(sampler.costs().migrations, c.migrations);
    EXPECT_EQ(sampler.costs().migrations_unknown, c.unknown);
  }
}

// Hybrid: its timer until a margin before the deadline, then a spin to it;
// never early, whatever the timer does, and the margin follows how late the
// timer has been: the p99 of its newest 256 wakes.
TEST(SleepSampler, HybridSpinsOnlyTheMarginItLearns) {
  measure::TimerMargin margin;
  EXPECT_EQ(margin.margin_us(1000), 500U) << "half the interval at first";
  for (std::uint64_t late = 0; late < 300; ++late) {
    margin.add(late);  // the newest 256: 44 to 299
  }
  EXPECT_EQ(margin.margin_us(1000), 297U);
  EXPECT_EQ(margin.margin_us(200), 200U) << "never more than the interval";

  struct Case {
    std::int64_t late_counts;    // how late the timer fires
    std::uint64_t first, last;   // the first and the last of 40 waits
    double cpu_first, cpu_last;  // per cent, the first 16 and the last 16
  };
  // 30 μs late: armed for 500, it fires at 530 and the spin takes 470; once
  // learnt, it fires at the deadline. 700 μs late: the first wait ends late.
  for (const auto& c : {Case{300, 1000, 1000, 47.0, 0.0}, Case{7000, 1200, 1000, 0.0, 0.0}}) {
    FakeWaits fake;
    fake.timer_late_counts = c.late_counts;
    SleepSampler sampler(fake, {SleepMode::Hybrid, 500, measure::Retention::KeepNewest, 1000us, true});
    std::vector<double> cpu;
    Samples waits;
    for (int i = 0; i < 40; ++i) {
      sampler.clear();
      sampler.measure(1);
      ASSERT_EQ(sampler.samples().size(), 1U);
      cpu.push_back(*analysis::cpu_percent(sampler.costs().cpu_ns, sampler.costs().waited_us));
      waits.push_back(sampler.samples()[0]);
    }
    EXPECT_GE(*std::min_element(waits.begin(), waits.end()), 1000U) << "early";
    EXPECT_EQ(waits.front(), c.first);
    EXPECT_EQ(waits.back(), c.last);
    EXPECT_NEAR(cpu[0], c.cpu_first, 1.0);
    EXPECT_NEAR(cpu[39], c.cpu_last, 1.0);
  }
}

TEST(SleepSampler, MeasuresUntilTheDeadlineAndKeepsTheNewestOrTheFirst) {
  FakeWaits fake;
  fake.tick = 0;
  fake.wait_counts = 3'000;  // 300 μs a sleep: four fit in a step of 1 ms
  SleepSampler sampler(fake);
  sampler.measure(1);
  EXPECT_EQ(sampler.samples(), Samples(4, 300));
  // A busy wait spins 1000 μs on the counter, whatever the step; clear keeps the mode.
  fake.tick = 3'000;  // 300 μs a reading
  sampler.clear();
  sampler.set_mode(SleepMode::BusyWait);
  sampler.measure(5);
  EXPECT_EQ(sampler.samples(), Samples(3, 1200));
  EXPECT_EQ(sampler.mode(), SleepMode::BusyWait);
  // An unknown method records nothing and still returns after its deadline.
  sampler.clear();
  sampler.set_mode(static_cast<SleepMode>(99));
  const std::int64_t before = fake.counter;
  sampler.measure(1);
  EXPECT_TRUE(sampler.samples().empty());
  EXPECT_GE(fake.counter - before, 10'000);
  // Near the top of the counter range (nanoseconds, as on Linux), where a
  // wrapped target would spin for ever.
  fake.frequency = 1'000'000'000;
  fake.counter = 9'223'372'036'850'000'000;  // 4.85 ms below 2^63
  fake.tick = 1'000;
  SleepSampler top(fake, {SleepMode::BusyWait});
  top.measure(1);
  EXPECT_EQ(top.samples(), Samples{1000});
  // A zero frequency would read 0 for ever: nothing is measured.
  fake.frequency = 0;
  SleepSampler idle(fake);
  idle.measure(1);
  EXPECT_TRUE(idle.samples().empty());
  // The interface keeps the newest 500, a report the first N and no more.
  for (const auto retention : {measure::Retention::KeepNewest, measure::Retention::KeepFirst}) {
    FakeWaits waits;
    waits.tick = 0;
    SleepSampler kept(waits, {SleepMode::Sleep, 500, retention});
    for (std::int64_t i = 1; i <= 501; ++i) {
      waits.wait_counts = 10'000 + i * 10;  // sample i lasts 1000 + i μs
      kept.measure(1);
    }
    Samples expected(500);
    std::iota(expected.begin(), expected.end(), retention == measure::Retention::KeepNewest ? 1002 : 1001);
    EXPECT_EQ(kept.samples(), expected);
    EXPECT_EQ(kept.full(), retention == measure::Retention::KeepFirst);
  }
}

}  // namespace
