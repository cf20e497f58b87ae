#include "measure/sleep_sampler.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <numeric>
#include <string>
#include <vector>

#include "support/fake_platform.hpp"

namespace {

using measure::counter_to_microseconds;
using measure::SleepMode;
using measure::SleepSampler;
using testing_support::FakePlatform;

// The exact quotient, for comparison (a compiler extension, fine in a test).
__extension__ using Wide = unsigned __int128;

TEST(CounterToMicroseconds, IsExactForEveryCounter) {
  // Each reading is converted on its own: 10,001 counts are 1000.1 μs, but
  // these two readings differ by 1001 μs.
  EXPECT_EQ(counter_to_microseconds(12'345'679, 10'000'000), 1'234'567U);
  EXPECT_EQ(counter_to_microseconds(12'355'680, 10'000'000), 1'235'568U);
  EXPECT_EQ(counter_to_microseconds(-5, 10'000'000), 0U);
  EXPECT_EQ(counter_to_microseconds(5, 0), 0U);

  // Where counter × 10^6 exceeds 64 bits, up to 2^63 − 1; fractions of a
  // second that come out whole try the edges of the long division.
  const std::int64_t max = std::numeric_limits<std::int64_t>::max();
  for (const std::int64_t f :
       std::vector<std::int64_t>{1'000'000'000, 3'579'545, 1'000'000, 1'000'000'000'000'000'000, max}) {
    for (const std::int64_t counter :
         std::vector<std::int64_t>{max, max / 3, 18'446'744'073'710, f - 1, f / 2, f / 5}) {
      const Wide exact = static_cast<Wide>(counter) * 1'000'000 / static_cast<Wide>(f);
      if (exact <= std::numeric_limits<std::uint64_t>::max()) {
        EXPECT_EQ(counter_to_microseconds(counter, f), static_cast<std::uint64_t>(exact)) << counter << " / " << f;
      }
    }
  }
}

// The two readings of a pass enclose the wait and nothing else, and each is
// converted on its own (10,001 counts apart, 1001 μs). A failed timer falls
// back to a sleep pass and is never left open.
TEST(SleepSampler, TimestampsEncloseOnlyTheWait) {
  using enum SleepMode;
  struct Case {
    SleepMode mode;
    bool creation_fails, arming_fails;
    std::string calls;  // between the first loop check and the next
    std::uint64_t sample;
  };
  for (const auto& c :
       {Case{Sleep, false, false, "counter, sleep 1, counter", 1001},
        Case{HighPrecisionSleep, false, false, "create, counter, arm -10000, wait, counter, close", 1001},
        Case{HighPrecisionSleep, true, false, "create, counter, sleep 1, counter", 1001},
        Case{HighPrecisionSleep, false, true, "create, counter, arm -10000, close, counter, sleep 1, counter", 1000}}) {
    SCOPED_TRACE(c.calls);
    FakePlatform platform;
    platform.timer_creation_fails = c.creation_fails;
    platform.timer_arming_fails = c.arming_fails;
    platform.counter = 12'345'676;  // the pass starts at 12,345,679
    platform.sleep_counts = 10'001;
    SleepSampler sampler(platform);
    sampler.mode_ = c.mode;
    sampler.measure(1);
    EXPECT_EQ(sampler.samples_, (std::vector<std::uint64_t>{c.sample}));
    std::string calls;
    for (const auto& call : platform.calls) {
      calls += (calls.empty() ? "" : ", ") + call;
    }
    EXPECT_EQ(calls, "counter, counter, " + c.calls + ", counter");
    EXPECT_EQ(platform.open_timers, 0);
  }
}

TEST(SleepSampler, WaitsUntilTheDeadline) {
  FakePlatform platform;
  platform.tick = 0;
  platform.sleep_counts = 3'000;  // 300 μs per sleep
  SleepSampler sampler(platform);
  sampler.measure(1);
  EXPECT_EQ(sampler.samples_, (std::vector<std::uint64_t>(4, 300)));

  // A busy wait spins on the counter alone for 1000 μs, whatever the duration asked.
  platform.calls.clear();
  platform.tick = 3'333;
  sampler.clear();
  sampler.mode_ = SleepMode::BusyWait;
  sampler.measure(5);
  ASSERT_FALSE(sampler.samples_.empty());
  EXPECT_TRUE(std::all_of(sampler.samples_.begin(), sampler.samples_.end(),
                          [](std::uint64_t s) { return s >= 1000 && s <= 1334; }));
  EXPECT_EQ(platform.calls, std::vector<std::string>(platform.calls.size(), "counter"));

  // A zero frequency would read 0 for ever: nothing is measured.
  FakePlatform broken;
  broken.frequency = 0;
  SleepSampler idle(broken);
  idle.measure(1);
  EXPECT_TRUE(idle.samples_.empty());
}

TEST(SleepSampler, KeepsTheNewest500InOrder) {
  FakePlatform platform;
  platform.tick = 0;
  SleepSampler sampler(platform);
  for (std::int64_t i = 1; i <= 501; ++i) {
    platform.sleep_counts = 10'000 + i * 10;  // sample i lasts 1000 + i μs
    sampler.measure(1);
  }
  std::vector<std::uint64_t> expected(500);
  std::iota(expected.begin(), expected.end(), 1002);
  EXPECT_EQ(sampler.samples_, expected);
}

TEST(SleepSampler, WorksNearTheTopOfTheCounterRange) {
  FakePlatform platform;
  platform.frequency = 1'000'000'000;            // nanoseconds, as on Linux
  platform.counter = 9'223'372'036'850'000'000;  // 4.85 ms below 2^63
  platform.sleep_counts = 1'000'500;
  SleepSampler sampler(platform);
  sampler.measure(1);
  platform.tick = 1'000;
  sampler.mode_ = SleepMode::BusyWait;
  sampler.measure(1);  // a wrapped target would spin for ever
  EXPECT_EQ(sampler.samples_, (std::vector<std::uint64_t>{1000, 1000}));
}

}  // namespace
