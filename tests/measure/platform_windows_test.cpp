// The Windows platform layer against the system's own kernel32 and ntdll.
// These run under wine as well as on Windows, so the bounds check behaviour
// and orders of magnitude, not Windows' precision.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <thread>

#include "measure/platform.hpp"
#include "measure/sleep_sampler.hpp"

namespace {

using measure::SleepMode;

measure::Platform& platform = measure::system_platform();

// Microseconds `fn` took by the counter.
double counted_us(const std::function<void()>& fn) {
  const std::int64_t start = platform.query_performance_counter();
  fn();
  const std::int64_t end = platform.query_performance_counter();
  return static_cast<double>(end - start) * 1e6 / static_cast<double>(platform.query_performance_frequency());
}

TEST(WindowsPlatform, TimersWaitTheirDueTimeAndAreReleased) {
  DWORD handles_before = 0;
  ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &handles_before));
  for (int i = 0; i < 200; ++i) {
    const measure::TimerHandle timer = platform.create_waitable_timer();
    ASSERT_NE(timer, nullptr);
    const double us = counted_us([&] {
      ASSERT_TRUE(platform.set_waitable_timer(timer, i < 5 ? -10'000 : -1));
      platform.wait_for_single_object(timer);
    });
    if (i < 5) {
      EXPECT_GE(us, 990);  // 1 ms, less the rounding of two readings
      EXPECT_LT(us, 500'000);
      EXPECT_GE(counted_us([] { platform.sleep(1); }), 990);
    }
    platform.close_handle(timer);
  }
  DWORD handles_after = 0;
  ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &handles_after));
  EXPECT_LT(handles_after, handles_before + 10);  // the runtime may open one or two meanwhile

  EXPECT_FALSE(platform.set_waitable_timer(nullptr, -10'000));
  EXPECT_FALSE(platform.set_waitable_timer(GetCurrentProcess(), -10'000)) << "a handle that is no timer";
  platform.close_handle(nullptr);  // a failed creation's handle: nothing to close
}

TEST(WindowsPlatform, PrioritiesAndResolutionAreGranted) {
  const DWORD original_class = GetPriorityClass(GetCurrentProcess());
  EXPECT_TRUE(platform.set_priority_class_realtime());
  SetPriorityClass(GetCurrentProcess(), original_class);
  std::thread([] {
    EXPECT_TRUE(platform.set_thread_priority_time_critical());
    EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_TIME_CRITICAL);
  }).join();

  std::uint32_t coarsest = 0;
  std::uint32_t finest = 0;
  std::uint32_t current = 0;
  ASSERT_EQ(platform.nt_query_timer_resolution(coarsest, finest, current), measure::kStatusSuccess);
  // 15.625 ms down to 0.5 ms or 1 ms; equal ends would mean a value read twice,
  // beyond 100 ms a misread unit.
  EXPECT_GT(finest, 0U);
  EXPECT_GT(coarsest, finest);
  EXPECT_LE(coarsest, 1'000'000U);
  EXPECT_TRUE(current >= finest && current <= coarsest) << current;
  // The coarsest never makes the system's timer coarser than another program wants it.
  std::uint32_t actual = 0;
  ASSERT_EQ(platform.nt_set_timer_resolution(coarsest, true, actual), measure::kStatusSuccess);
  EXPECT_TRUE(actual >= finest && actual <= coarsest) << actual;
}

TEST(WindowsPlatform, SamplerRecordsWaitsInEveryMode) {
  measure::SleepSampler sampler(platform);
  for (const SleepMode mode : {SleepMode::Sleep, SleepMode::BusyWait, SleepMode::HighPrecisionSleep}) {
    SCOPED_TRACE(measure::sleep_mode_name(mode));
    sampler.clear();
    sampler.mode_ = mode;
    for (int i = 0; i < 20; ++i) {
      sampler.measure(1);
    }
    ASSERT_GE(sampler.samples_.size(), 20U);
    const auto [shortest, longest] = std::minmax_element(sampler.samples_.begin(), sampler.samples_.end());
    EXPECT_GE(*shortest, mode == SleepMode::BusyWait ? 1000U : 500U);
    EXPECT_LT(*longest, 500'000U);
  }
}

TEST(WindowsPlatform, ConsoleTakesUtf8Output) {
  measure::prepare_console();
  measure::prepare_console();  // a second call changes nothing
  // Without a console (a test runner's pipe) there is no code page to set.
  if (GetConsoleOutputCP() != 0) {
    EXPECT_EQ(GetConsoleOutputCP(), static_cast<UINT>(CP_UTF8));
  }
}

}  // namespace
