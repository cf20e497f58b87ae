// The Windows platform layer against the system's own kernel32 and ntdll,
// under wine as on Windows: behaviour and orders of magnitude, not precision.
// (The report's end-to-end check measures every method through it.)
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "measure/platform.hpp"

namespace {

using namespace std::chrono_literals;

measure::Platform& platform = measure::system_platform();

TEST(WindowsPlatform, TimersPrioritiesAndResolution) {
  // Timers wait their 1 ms. (That the destructor closes them wine cannot
  // tell: it counts no handles.)
  const std::int64_t start = platform.read_counter();
  for (int i = 0; i < 100; ++i) {
    const auto timer = platform.create_timer();
    ASSERT_NE(timer, nullptr);
    ASSERT_TRUE(timer->arm(1ms));
    timer->wait();
  }
  EXPECT_GE((platform.read_counter() - start) * 10 / platform.counter_frequency(), 1);

  const DWORD original_class = GetPriorityClass(GetCurrentProcess());
  EXPECT_TRUE(platform.raise_process_priority());
  SetPriorityClass(GetCurrentProcess(), original_class);
  std::thread([] {
    EXPECT_TRUE(platform.raise_thread_priority());
    EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_TIME_CRITICAL);
  }).join();

  // 15 625 μs down to 500 or 1000: equal ends would be a value read twice, beyond 100 ms a misread unit.
  const auto r = platform.query_timer_resolution();
  ASSERT_TRUE(r);
  EXPECT_TRUE(r->finest_us > 0 && r->coarsest_us > r->finest_us && r->coarsest_us <= 100'000U) << r->coarsest_us;
  EXPECT_TRUE(r->current_us >= r->finest_us && r->current_us <= r->coarsest_us) << r->current_us;
  const auto granted = platform.request_timer_resolution(r->coarsest_us);
  ASSERT_TRUE(granted);
  EXPECT_TRUE(*granted >= r->finest_us && *granted <= r->coarsest_us) << *granted;
  platform.release_timer_resolution(r->coarsest_us);
}

}  // namespace
