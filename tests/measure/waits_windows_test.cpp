// The Windows waits against the system's own kernel32 and ntdll,
// under wine as on Windows: behaviour and orders of magnitude, not precision.
// (The report's end-to-end check measures every method through it.)
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "measure/waits.hpp"

namespace {

using namespace std::chrono_literals;

measure::Waits& waits = measure::system_waits();

TEST(WindowsWaits, TimersPrioritiesAndResolution) {
  // Timers of either kind (a plain one where the system has no
  // high-resolution timer) wait their 1 ms. (That the destructor closes them
  // wine cannot tell: it counts no handles.)
  for (const auto kind : {measure::TimerKind::Plain, measure::TimerKind::HighResolution}) {
    const std::int64_t start = waits.read_counter();
    for (int i = 0; i < 50; ++i) {
      const auto timer = waits.create_timer(kind);
      ASSERT_NE(timer, nullptr);
      EXPECT_TRUE(kind == measure::TimerKind::HighResolution || timer->kind() == measure::TimerKind::Plain);
      ASSERT_TRUE(timer->arm(1ms));
      timer->wait();
    }
    EXPECT_GE((waits.read_counter() - start) * 20 / waits.counter_frequency(), 1);
  }
  EXPECT_TRUE(waits.sleeps_whole_milliseconds());

  // The thread's CPU time, where the system gives it: a spin's, not a sleep's.
  if (const auto before = waits.thread_cpu_ns()) {
    waits.sleep(20ms);
    const std::uint64_t slept = *waits.thread_cpu_ns() - *before;
    const std::int64_t start = waits.read_counter();
    while ((waits.read_counter() - start) * 20 < waits.counter_frequency()) {
    }
    const std::uint64_t spun = *waits.thread_cpu_ns() - *before - slept;
    EXPECT_TRUE(slept < 5'000'000 && spun > 25'000'000) << slept << " " << spun;
  }

  const DWORD original_class = GetPriorityClass(GetCurrentProcess());
  EXPECT_TRUE(waits.raise_process_priority());
  SetPriorityClass(GetCurrentProcess(), original_class);
  std::thread([] {
    EXPECT_TRUE(waits.raise_thread_priority());
    EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_TIME_CRITICAL);
  }).join();

  // 15 625 μs down to 500 or 1000: equal ends would be a value read twice, beyond 100 ms a misread unit.
  const auto r = waits.query_timer_resolution();
  ASSERT_TRUE(r);
  EXPECT_TRUE(r->finest_us > 0 && r->coarsest_us > r->finest_us && r->coarsest_us <= 100'000U) << r->coarsest_us;
  EXPECT_TRUE(r->current_us >= r->finest_us && r->current_us <= r->coarsest_us) << r->current_us;
  const auto granted = waits.request_timer_resolution(r->coarsest_us);
  ASSERT_TRUE(granted);
  EXPECT_TRUE(*granted >= r->finest_us && *granted <= r->coarsest_us) << *granted;
  waits.release_timer_resolution(r->coarsest_us);
}

}  // namespace
