#include "measure/sleep_sampler.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <new>
#include <stdexcept>

#include "support/fake_platform.hpp"

namespace {

using measure::counter_to_microseconds;
using measure::SleepMode;
using measure::SleepSampler;
using testing_support::FakePlatform;

TEST(CounterToMicroseconds, ConvertsEachReadingOnItsOwn) {
  // 10,001 counts are 1000.1 μs, but the converted readings differ by 1001.
  EXPECT_EQ(counter_to_microseconds(12'345'679, 10'000'000), 1'234'567U);
  EXPECT_EQ(counter_to_microseconds(12'355'680, 10'000'000), 1'235'568U);
  EXPECT_EQ(counter_to_microseconds(0, 10'000'000), 0U);
  EXPECT_EQ(counter_to_microseconds(-5, 10'000'000), 0U);
  EXPECT_EQ(counter_to_microseconds(5, 0), 0U);
}

// The exact quotient, for comparison (a compiler extension, fine in a test).
__extension__ using Wide = unsigned __int128;

TEST(CounterToMicroseconds, StaysExactWhereTheProductExceeds64Bits) {
  const std::int64_t max = std::numeric_limits<std::int64_t>::max();
  for (const std::int64_t frequency :
       {std::int64_t{1'000'000'000}, std::int64_t{10'000'000}, std::int64_t{3'579'545}, std::int64_t{24'000'000},
        std::int64_t{1'000'000}, std::int64_t{50'000'000'000'000}, max}) {
    for (const std::int64_t counter :
         {max, max - 1, max / 3, std::int64_t{18'446'744'073'710}, std::int64_t{1} << 40, frequency - 1, frequency}) {
      const Wide exact = static_cast<Wide>(counter) * 1'000'000 / static_cast<Wide>(frequency);
      if (exact > std::numeric_limits<std::uint64_t>::max()) {
        continue;  // not representable in microseconds either
      }
      EXPECT_EQ(counter_to_microseconds(counter, frequency), static_cast<std::uint64_t>(exact))
          << counter << " / " << frequency;
    }
  }
}

TEST(SleepSampler, StartsEmptyInSleepModeWithTheCounterFrequency) {
  FakePlatform platform;
  platform.frequency = 3'579'545;
  const SleepSampler sampler(platform);
  EXPECT_TRUE(sampler.samples_.empty());
  EXPECT_EQ(sampler.mode_, SleepMode::Sleep);
  EXPECT_EQ(sampler.frequency_, 3'579'545);
  EXPECT_EQ(sampler.max_samples_, 500U);
}

TEST(SleepSampler, SleepPassTimesOnlyTheSleep) {
  FakePlatform platform;
  // deadline read, first loop check, start, end, loop check.
  platform.script = {0, 1, 12'345'679, 12'355'680, 12'355'681};
  SleepSampler sampler(platform);
  sampler.measure(1);
  ASSERT_EQ(sampler.samples_, (std::vector<std::uint64_t>{1001}));
  const std::vector<std::string> expected{"counter", "counter", "counter", "sleep 1", "counter", "counter"};
  EXPECT_EQ(platform.calls, expected);
}

TEST(SleepSampler, RecordsSeveralWaitsWhenTheyEndEarly) {
  FakePlatform platform;
  platform.sleep_counts = 3'000;  // 300 μs per sleep
  platform.tick = 0;
  SleepSampler sampler(platform);
  sampler.measure(1);
  // The deadline 1000 μs ahead is passed after the fourth 300 μs sleep.
  EXPECT_EQ(sampler.samples_.size(), 4U);
  for (const auto s : sampler.samples_) {
    EXPECT_EQ(s, 300U);
  }
}

TEST(SleepSampler, RecordsNothingWhenTheDeadlineHasAlreadyPassed) {
  FakePlatform platform;
  platform.script = {0, 10'000};  // the second reading is at the deadline
  SleepSampler sampler(platform);
  sampler.measure(1);
  EXPECT_TRUE(sampler.samples_.empty());
  EXPECT_EQ(platform.calls.size(), 2U);
}

TEST(SleepSampler, BusyWaitSpinsForAtLeast1000Microseconds) {
  FakePlatform platform;
  platform.tick = 3'333;  // readings 333.3 μs apart
  SleepSampler sampler(platform);
  sampler.mode_ = SleepMode::BusyWait;
  sampler.measure(5);  // the spin stays 1000 μs whatever the duration asked
  ASSERT_FALSE(sampler.samples_.empty());
  for (const auto s : sampler.samples_) {
    EXPECT_GE(s, 1000U);
    EXPECT_LE(s, 1334U);
  }
  for (const auto& call : platform.calls) {
    EXPECT_EQ(call, "counter");  // never yields
  }
}

TEST(SleepSampler, TimerPassTimesArmingAndWaitingOnly) {
  FakePlatform platform;
  SleepSampler sampler(platform);
  sampler.mode_ = SleepMode::HighPrecisionSleep;
  sampler.measure(1);
  ASSERT_EQ(sampler.samples_.size(), 1U);
  EXPECT_EQ(sampler.samples_[0], 1000U);
  const std::vector<std::string> expected{"counter", "counter", "create", "counter", "arm -10000",
                                          "wait",    "counter", "close",  "counter"};
  EXPECT_EQ(platform.calls, expected);
  EXPECT_EQ(platform.open_timers, 0);
}

TEST(SleepSampler, TimerFailuresFallBackToASleepPass) {
  for (const bool creation_fails : {true, false}) {
    FakePlatform platform;
    platform.timer_creation_fails = creation_fails;
    platform.timer_arming_fails = !creation_fails;
    SleepSampler sampler(platform);
    sampler.mode_ = SleepMode::HighPrecisionSleep;
    sampler.measure(1);
    ASSERT_EQ(sampler.samples_.size(), 1U) << creation_fails;
    EXPECT_EQ(sampler.samples_[0], 1000U);
    EXPECT_EQ(sampler.mode_, SleepMode::HighPrecisionSleep);
    EXPECT_EQ(platform.open_timers, 0);  // an unarmed timer is closed, never waited on
    EXPECT_EQ(std::count(platform.calls.begin(), platform.calls.end(), "wait"), 0);
    EXPECT_EQ(std::count(platform.calls.begin(), platform.calls.end(), "sleep 1"), 1);
  }
}

TEST(SleepSampler, UnknownModeRecordsNothingButLastsUntilTheDeadline) {
  FakePlatform platform;
  platform.tick = 1'000;  // 100 μs a reading
  SleepSampler sampler(platform);
  sampler.mode_ = static_cast<SleepMode>(3);
  sampler.measure(1);
  EXPECT_TRUE(sampler.samples_.empty());
  EXPECT_GE(platform.counter, 10'000);
}

TEST(SleepSampler, KeepsTheNewest500InOrder) {
  FakePlatform platform;
  SleepSampler sampler(platform);
  platform.tick = 0;
  for (std::int64_t i = 1; i <= 501; ++i) {
    platform.sleep_counts = 10'000 + i * 10;  // sample i lasts 1000 + i μs
    sampler.measure(1);
  }
  ASSERT_EQ(sampler.samples_.size(), 500U);
  EXPECT_EQ(sampler.samples_.front(), 1002U);
  EXPECT_EQ(sampler.samples_.back(), 1501U);
  for (std::size_t k = 1; k < sampler.samples_.size(); ++k) {
    EXPECT_EQ(sampler.samples_[k], sampler.samples_[k - 1] + 1);
  }
}

TEST(SleepSampler, ClearEmptiesTheBufferAndKeepsTheMode) {
  FakePlatform platform;
  SleepSampler sampler(platform);
  sampler.mode_ = SleepMode::BusyWait;
  sampler.measure(1);
  sampler.clear();
  EXPECT_TRUE(sampler.samples_.empty());
  EXPECT_EQ(sampler.mode_, SleepMode::BusyWait);
  sampler.measure(1);
  EXPECT_FALSE(sampler.samples_.empty());
}

TEST(SleepSampler, WorksNearTheTopOfTheCounterRange) {
  FakePlatform platform;
  platform.frequency = 1'000'000'000;            // nanoseconds, as on Linux
  platform.counter = 9'223'372'036'850'000'000;  // 4.85 ms below 2^63
  platform.sleep_counts = 1'000'500;
  SleepSampler sampler(platform);
  sampler.measure(1);
  ASSERT_EQ(sampler.samples_.size(), 1U);
  EXPECT_EQ(sampler.samples_[0], 1000U);

  platform.tick = 1'000;
  sampler.mode_ = SleepMode::BusyWait;
  sampler.measure(1);  // a wrapped target would spin for ever
  EXPECT_EQ(sampler.samples_.back(), 1000U);
}

TEST(SleepSampler, ZeroFrequencyRecordsNothingAndReturns) {
  FakePlatform platform;
  platform.frequency = 0;
  SleepSampler sampler(platform);
  sampler.measure(1);
  EXPECT_TRUE(sampler.samples_.empty());
  EXPECT_TRUE(platform.calls.empty());
}

TEST(SleepSampler, AFailureLeavesEarlierSamplesInPlace) {
  FakePlatform platform;
  platform.sleep_counts = 3'000;
  int sleeps = 0;
  platform.on_sleep = [&] {
    if (++sleeps == 3) {
      throw std::bad_alloc();
    }
  };
  SleepSampler sampler(platform);
  EXPECT_THROW(sampler.measure(1), std::bad_alloc);
  EXPECT_EQ(sampler.samples_.size(), 2U);
}

TEST(SleepMode, NamesAndOrder) {
  EXPECT_STREQ(measure::sleep_mode_name(SleepMode::Sleep), "Sleep");
  EXPECT_STREQ(measure::sleep_mode_name(SleepMode::BusyWait), "BusyWait");
  EXPECT_STREQ(measure::sleep_mode_name(SleepMode::HighPrecisionSleep), "HighPrecisionSleep");
  EXPECT_STREQ(measure::sleep_mode_name(static_cast<SleepMode>(3)), "Unknown");
  EXPECT_EQ(measure::next_sleep_mode(SleepMode::Sleep), SleepMode::BusyWait);
  EXPECT_EQ(measure::next_sleep_mode(SleepMode::BusyWait), SleepMode::HighPrecisionSleep);
  EXPECT_EQ(measure::next_sleep_mode(SleepMode::HighPrecisionSleep), SleepMode::Sleep);
  EXPECT_EQ(measure::next_sleep_mode(static_cast<SleepMode>(7)), static_cast<SleepMode>(7));
}

}  // namespace
