// The Linux platform layer against the real kernel.
#include <sys/time.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>
#include <tuple>

#include "measure/platform.hpp"

namespace {

using namespace std::chrono_literals;

measure::Platform& platform = measure::system_platform();

std::uint32_t res_100ns(clockid_t clock) {
  timespec res{};
  return clock_getres(clock, &res), static_cast<std::uint32_t>((res.tv_sec * 1'000'000'000 + res.tv_nsec) / 100);
}

// Range: the clock's granularity (at least 1 μs) to the kernel tick. Current:
// the slack the kernel applies to the thread that waits, as it reads it back:
// a wish is in effect once that thread has waited; a real-time thread has none.
TEST(LinuxPlatform, CurrentIsTheSlackInEffectForTheThreadThatWaits) {
  std::uint32_t coarsest = 0, finest = 0, current = 0, actual = 0;
  const auto query = [&] { return platform.nt_query_timer_resolution(coarsest, finest, current), current; };
  const auto wait_in_a_thread = [&](bool real_time) {
    bool raised = false;
    std::thread([&] { raised = real_time && platform.set_thread_priority_time_critical(), platform.sleep(1); }).join();
    return raised;
  };
  EXPECT_EQ((query(), coarsest), res_100ns(CLOCK_MONOTONIC_COARSE));
  EXPECT_EQ(finest, std::max(10U, res_100ns(CLOCK_MONOTONIC)));
  const std::uint32_t middle = std::clamp(2'345U, finest, coarsest), max = ~0U;
  for (const auto& [asked, real_time, in_effect] :
       {std::tuple{0U, false, finest}, {middle, false, middle}, {max, false, coarsest}, {middle, true, 0U}}) {
    const std::uint32_t before = query();
    platform.nt_set_timer_resolution(asked, true, actual);
    EXPECT_EQ(actual, before) << asked << ": nothing has waited under it yet";
    if (wait_in_a_thread(real_time) == real_time) {  // real time may be refused
      EXPECT_EQ(query(), in_effect) << asked << (real_time ? " in a real-time thread" : "");
    }
  }
}

std::atomic<int> alarms{0};
extern "C" void count_alarm(int) { ++alarms; }

// SIGALRM, handled without SA_RESTART, every 2 ms (to the only thread): each
// wait still lasts its 30 ms; and a due time of 0 fires rather than disarming.
TEST(LinuxPlatform, WaitsLastTheirTimeThroughSignals) {
  const auto timer = platform.create_waitable_timer();
  ASSERT_NE(timer, nullptr);
  struct sigaction action {};
  action.sa_handler = count_alarm;
  sigaction(SIGALRM, &action, nullptr);
  const itimerval every_2ms{{0, 2'000}, {0, 2'000}}, off{};
  setitimer(ITIMER_REAL, &every_2ms, nullptr);
  for (const bool on_timer : {false, true}) {
    alarms = 0;
    const auto start = std::chrono::steady_clock::now();
    on_timer ? (platform.set_waitable_timer(timer, -300'000), platform.wait_for_single_object(timer))
             : platform.sleep(30);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);
    EXPECT_GT(alarms, 0);
  }
  setitimer(ITIMER_REAL, &off, nullptr);
  ASSERT_TRUE(platform.set_waitable_timer(timer, 0));
  platform.wait_for_single_object(timer);
  EXPECT_FALSE(platform.set_waitable_timer(timer, 10'000)) << "absolute due times have no meaning here";
  platform.close_handle(timer);
  EXPECT_FALSE(platform.set_waitable_timer(nullptr, -10'000));
}

}  // namespace
