// The Windows platform layer against the system's own kernel32 and ntdll.
// These run under wine as well as on Windows, so the bounds check behaviour
// and orders of magnitude, not Windows' precision.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <thread>

#include "measure/platform.hpp"
#include "measure/sleep_sampler.hpp"
#include "support/tui_peer.hpp"
#include "tui/real_time_tui.hpp"

namespace {

using measure::Platform;
using measure::SleepMode;
using measure::SleepSampler;
using measure::system_platform;

// Microseconds between two counter readings.
double elapsed_us(Platform& platform, std::int64_t start, std::int64_t end) {
  return static_cast<double>(end - start) * 1e6 / static_cast<double>(platform.query_performance_frequency());
}

constexpr double kAboutOneMs = 990;        // a wait of 1 ms, less the rounding of two readings
constexpr double kFarTooLongUs = 500'000;  // a wait that did not end when it should have

TEST(WindowsPlatform, CounterIsSteadyAndAgreesWithTheClock) {
  Platform& platform = system_platform();
  const std::int64_t frequency = platform.query_performance_frequency();
  ASSERT_GT(frequency, 0);
  EXPECT_EQ(platform.query_performance_frequency(), frequency);  // fixed while the system runs

  std::int64_t previous = platform.query_performance_counter();
  for (int i = 0; i < 100'000; ++i) {
    const std::int64_t now = platform.query_performance_counter();
    ASSERT_GE(now, previous);
    previous = now;
  }

  // The counter advances `frequency` counts per second: compare with the
  // standard steady clock over 50 ms.
  const auto clock_start = std::chrono::steady_clock::now();
  const std::int64_t start = platform.query_performance_counter();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const std::int64_t end = platform.query_performance_counter();
  const auto clock_us =
      std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - clock_start).count();
  EXPECT_NEAR(elapsed_us(platform, start, end), clock_us, clock_us * 0.2 + 2000);
}

TEST(WindowsPlatform, SleepOfOneMillisecondLastsAtLeastThat) {
  Platform& platform = system_platform();
  for (int i = 0; i < 5; ++i) {
    const std::int64_t start = platform.query_performance_counter();
    platform.sleep(1);
    const std::int64_t end = platform.query_performance_counter();
    EXPECT_GE(elapsed_us(platform, start, end), kAboutOneMs);
    EXPECT_LT(elapsed_us(platform, start, end), kFarTooLongUs);
  }
}

TEST(WindowsPlatform, WaitableTimerFiresOnceAfterItsDueTime) {
  Platform& platform = system_platform();
  for (int i = 0; i < 5; ++i) {
    const measure::TimerHandle timer = platform.create_waitable_timer();
    ASSERT_NE(timer, nullptr);
    const std::int64_t start = platform.query_performance_counter();
    ASSERT_TRUE(platform.set_waitable_timer(timer, -10'000));
    platform.wait_for_single_object(timer);
    const std::int64_t end = platform.query_performance_counter();
    EXPECT_GE(elapsed_us(platform, start, end), kAboutOneMs);
    EXPECT_LT(elapsed_us(platform, start, end), kFarTooLongUs);
    // Manual reset: once fired it stays signalled.
    EXPECT_EQ(WaitForSingleObject(timer, 0), WAIT_OBJECT_0);
    platform.close_handle(timer);
  }
}

TEST(WindowsPlatform, ClosingTimersReleasesTheirHandles) {
  Platform& platform = system_platform();
  DWORD before = 0;
  ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &before));
  for (int i = 0; i < 200; ++i) {
    const measure::TimerHandle timer = platform.create_waitable_timer();
    ASSERT_NE(timer, nullptr);
    ASSERT_TRUE(platform.set_waitable_timer(timer, -1));
    platform.wait_for_single_object(timer);
    platform.close_handle(timer);
  }
  DWORD after = 0;
  ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &after));
  // Other threads of the runtime may open a handle or two meanwhile.
  EXPECT_LT(after, before + 10);
}

TEST(WindowsPlatform, ArmingSomethingThatIsNoTimerFails) {
  Platform& platform = system_platform();
  EXPECT_FALSE(platform.set_waitable_timer(nullptr, -10'000));
  // A valid handle of the wrong kind: the current process.
  EXPECT_FALSE(platform.set_waitable_timer(GetCurrentProcess(), -10'000));
  const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(event, nullptr);
  EXPECT_FALSE(platform.set_waitable_timer(event, -10'000));
  CloseHandle(event);
  platform.close_handle(nullptr);  // a failed creation's handle: nothing to close
}

TEST(WindowsPlatform, PriorityRequestsAreGranted) {
  Platform& platform = system_platform();
  const DWORD original_class = GetPriorityClass(GetCurrentProcess());
  EXPECT_TRUE(platform.set_priority_class_realtime());
  SetPriorityClass(GetCurrentProcess(), original_class);

  bool thread_granted = false;
  int thread_priority = THREAD_PRIORITY_ERROR_RETURN;
  std::thread([&] {
    thread_granted = platform.set_thread_priority_time_critical();
    thread_priority = GetThreadPriority(GetCurrentThread());
  }).join();
  EXPECT_TRUE(thread_granted);
  EXPECT_EQ(thread_priority, THREAD_PRIORITY_TIME_CRITICAL);
}

TEST(WindowsPlatform, TimerResolutionIsQueriedAndRequested) {
  Platform& platform = system_platform();
  std::uint32_t coarsest = 0;
  std::uint32_t finest = 0;
  std::uint32_t current = 0;
  ASSERT_EQ(platform.nt_query_timer_resolution(coarsest, finest, current), measure::kStatusSuccess);
  EXPECT_GT(finest, 0U);
  // Every timer Windows (and wine) runs on has a range: 15.625 ms down to
  // 0.5 ms or 1 ms; equal ends would mean a value was read twice.
  EXPECT_GT(coarsest, finest);
  EXPECT_GE(current, finest);
  EXPECT_LE(current, coarsest);
  EXPECT_LE(coarsest, 1'000'000U);  // 100 ms: anything coarser is a misread unit

  // Asking for the coarsest interval never makes the system's timer coarser
  // than another program wants it, so it is safe to ask here.
  std::uint32_t actual = 0;
  ASSERT_EQ(platform.nt_set_timer_resolution(coarsest, true, actual), measure::kStatusSuccess);
  EXPECT_GE(actual, finest);
  EXPECT_LE(actual, coarsest);
}

TEST(WindowsPlatform, InterfaceShowsTheSystemResolutionInMicroseconds) {
  tui::RealTimeTUI ui(system_platform());
  tui::RealTimeTUITestPeer peer(ui);
  peer.update_timer_resolution();
  std::uint32_t coarsest = 0;
  std::uint32_t finest = 0;
  std::uint32_t current = 0;
  ASSERT_EQ(system_platform().nt_query_timer_resolution(coarsest, finest, current), measure::kStatusSuccess);
  EXPECT_EQ(peer.max_resolution_us(), coarsest / 10);
  EXPECT_EQ(peer.min_resolution_us(), finest / 10);
  EXPECT_GT(peer.current_resolution_us(), 0U);
}

TEST(WindowsPlatform, SamplerRecordsWaitsInEveryMode) {
  SleepSampler sampler(system_platform());
  EXPECT_EQ(sampler.frequency_, system_platform().query_performance_frequency());
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
