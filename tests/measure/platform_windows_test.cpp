// The Windows platform layer against the system's own kernel32 and ntdll,
// under wine as on Windows: behaviour and orders of magnitude, not precision.
// (The report's end-to-end check measures every method through it.)
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "measure/platform.hpp"

namespace {

measure::Platform& platform = measure::system_platform();

TEST(WindowsPlatform, TimersPrioritiesAndResolution) {
  // Timers wait their 1 ms and are released.
  const std::int64_t start = platform.query_performance_counter();
  for (int i = 0; i < 100; ++i) {
    const auto timer = platform.create_waitable_timer();
    ASSERT_TRUE(platform.set_waitable_timer(timer, -10'000));
    platform.wait_for_single_object(timer);
    platform.close_handle(timer);
    DWORD flags = 0;
    ASSERT_FALSE(GetHandleInformation(timer, &flags)) << "the timer was left open";
  }
  EXPECT_GE((platform.query_performance_counter() - start) * 10 / platform.query_performance_frequency(), 1);
  EXPECT_FALSE(platform.set_waitable_timer(GetCurrentProcess(), -10'000)) << "a handle that is no timer";

  const DWORD original_class = GetPriorityClass(GetCurrentProcess());
  EXPECT_TRUE(platform.set_priority_class_realtime());
  SetPriorityClass(GetCurrentProcess(), original_class);
  std::thread([] {
    EXPECT_TRUE(platform.set_thread_priority_time_critical());
    EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_TIME_CRITICAL);
  }).join();

  // 15.625 ms down to 0.5 or 1 ms: equal ends would be a value read twice, beyond 100 ms a misread unit.
  std::uint32_t coarsest = 0, finest = 0, current = 0, actual = 0;
  ASSERT_EQ(platform.nt_query_timer_resolution(coarsest, finest, current), measure::kStatusSuccess);
  EXPECT_TRUE(finest > 0 && coarsest > finest && coarsest <= 1'000'000U) << coarsest << " " << finest;
  EXPECT_TRUE(current >= finest && current <= coarsest) << current;
  ASSERT_EQ(platform.nt_set_timer_resolution(coarsest, true, actual), measure::kStatusSuccess);
  EXPECT_TRUE(actual >= finest && actual <= coarsest) << actual;
}

}  // namespace
