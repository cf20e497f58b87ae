// The Windows platform layer against the system's own kernel32 and ntdll.
// These run under wine as well as on Windows, so the bounds check behaviour
// and orders of magnitude, not Windows' precision.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "measure/platform.hpp"
#include "measure/sleep_sampler.hpp"

namespace {

measure::Platform& platform = measure::system_platform();

// Every method records waits of 1 ms or more on the system's counter, and
// the timers it makes are released.
TEST(WindowsPlatform, SamplerRecordsWaitsInEveryModeAndReleasesItsTimers) {
  DWORD handles_before = 0;
  ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &handles_before));
  measure::SleepSampler sampler(platform);
  for (const auto mode :
       {measure::SleepMode::Sleep, measure::SleepMode::BusyWait, measure::SleepMode::HighPrecisionSleep}) {
    SCOPED_TRACE(measure::sleep_mode_name(mode));
    sampler.clear();
    sampler.mode_ = mode;
    for (int i = 0; i < 100; ++i) {
      sampler.measure(1);
    }
    const auto [shortest, longest] = std::minmax_element(sampler.samples_.begin(), sampler.samples_.end());
    EXPECT_GE(*shortest, mode == measure::SleepMode::BusyWait ? 1000U : 990U);
    EXPECT_LT(*longest, 500'000U);
  }
  DWORD handles_after = 0;
  ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &handles_after));
  EXPECT_LT(handles_after, handles_before + 10);  // the runtime may open one or two meanwhile
  EXPECT_FALSE(platform.set_waitable_timer(GetCurrentProcess(), -10'000)) << "a handle that is no timer";
}

TEST(WindowsPlatform, PrioritiesAndResolution) {
  const DWORD original_class = GetPriorityClass(GetCurrentProcess());
  EXPECT_TRUE(platform.set_priority_class_realtime());
  SetPriorityClass(GetCurrentProcess(), original_class);
  std::thread([] {
    EXPECT_TRUE(platform.set_thread_priority_time_critical());
    EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_TIME_CRITICAL);
  }).join();
  std::uint32_t coarsest = 0, finest = 0, current = 0, actual = 0;
  ASSERT_EQ(platform.nt_query_timer_resolution(coarsest, finest, current), measure::kStatusSuccess);
  // 15.625 ms down to 0.5 or 1 ms: equal ends would be a value read twice, beyond 100 ms a misread unit.
  EXPECT_GT(finest, 0U);
  EXPECT_GT(coarsest, finest);
  EXPECT_LE(coarsest, 1'000'000U);
  EXPECT_TRUE(current >= finest && current <= coarsest) << current;
  ASSERT_EQ(platform.nt_set_timer_resolution(coarsest, true, actual), measure::kStatusSuccess);
  EXPECT_TRUE(actual >= finest && actual <= coarsest) << actual;
}

}  // namespace
