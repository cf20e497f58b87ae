// The Linux platform layer against the real kernel.
#include <pthread.h>
#include <sys/prctl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <ctime>
#include <functional>
#include <limits>
#include <thread>

#include "measure/platform.hpp"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::uint32_t res_100ns(clockid_t clock) {
  timespec res{};
  clock_getres(clock, &res);
  return static_cast<std::uint32_t>((res.tv_sec * 1'000'000'000 + res.tv_nsec) / 100);
}

long thread_slack_ns() { return prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0); }

// Every test leaves the process-wide resolution as it found it.
class LinuxPlatform : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(platform.nt_query_timer_resolution(coarsest, finest, initial), measure::kStatusSuccess);
  }
  void TearDown() override { set_resolution(initial); }

  std::uint32_t set_resolution(std::uint32_t units, bool set = true) {
    std::uint32_t actual = 0;
    EXPECT_EQ(platform.nt_set_timer_resolution(units, set, actual), measure::kStatusSuccess);
    return actual;
  }

  measure::Platform& platform = measure::system_platform();
  std::uint32_t coarsest = 0;
  std::uint32_t finest = 0;
  std::uint32_t initial = 0;
};

// The resolution is the timer slack, between the clock's granularity (never
// below 1 μs: the interface counts whole microseconds) and the kernel tick.
TEST_F(LinuxPlatform, ResolutionIsTheWaitingThreadsSlack) {
  EXPECT_EQ(coarsest, res_100ns(CLOCK_MONOTONIC_COARSE));
  EXPECT_EQ(finest, std::max(10U, res_100ns(CLOCK_MONOTONIC)));
  EXPECT_EQ(initial, static_cast<std::uint32_t>(thread_slack_ns() / 100));
  const std::uint32_t middle = std::clamp(2'345U, finest, coarsest);
  for (const auto& [asked, granted] : {std::pair{0U, finest},
                                       {1U, finest},
                                       {coarsest + 1, coarsest},
                                       {std::numeric_limits<std::uint32_t>::max(), coarsest},
                                       {middle, middle}}) {
    EXPECT_EQ(set_resolution(asked), granted) << asked;
  }
  EXPECT_EQ(set_resolution(finest, false), middle) << "asking without setting changes nothing";

  // Applied to whichever thread waits, at its next wait, including a change
  // made while the thread runs.
  const std::uint32_t first = set_resolution(2'000);  // 200 μs
  const std::uint32_t second = set_resolution(3'000);
  set_resolution(first);
  long after_sleep = 0;
  long after_timer = 0;
  long clamped = 0;
  std::thread([&] {
    platform.sleep(1);
    after_sleep = thread_slack_ns();
    set_resolution(second);
    const auto timer = platform.create_waitable_timer();
    ASSERT_NE(timer, nullptr);
    ASSERT_TRUE(platform.set_waitable_timer(timer, -10'000));
    platform.wait_for_single_object(timer);
    platform.close_handle(timer);
    after_timer = thread_slack_ns();
  }).join();
  set_resolution(0);
  std::thread([&] {
    platform.sleep(1);
    clamped = thread_slack_ns();
  }).join();
  EXPECT_EQ(after_sleep, 100L * first);
  EXPECT_EQ(after_timer, 100L * second);
  EXPECT_EQ(clamped, 100L * finest);
}

std::atomic<int> alarms{0};
extern "C" void count_alarm(int) { ++alarms; }

// Sends SIGALRM (handled, without SA_RESTART) to a thread again and again
// while it runs `wait`, and returns how long the wait lasted.
Clock::duration interrupted(const std::function<void()>& wait) {
  struct sigaction action {};
  action.sa_handler = count_alarm;
  sigemptyset(&action.sa_mask);
  struct sigaction previous {};
  sigaction(SIGALRM, &action, &previous);
  alarms = 0;
  std::atomic<bool> done{false};
  Clock::duration lasted{};
  std::thread waiter([&] {
    const auto start = Clock::now();
    wait();
    lasted = Clock::now() - start;
    done = true;
  });
  while (!done) {
    pthread_kill(waiter.native_handle(), SIGALRM);
    std::this_thread::sleep_for(2ms);
  }
  waiter.join();
  sigaction(SIGALRM, &previous, nullptr);
  return lasted;
}

TEST_F(LinuxPlatform, WaitsLastTheirTimeThroughSignals) {
  EXPECT_GE(interrupted([&] { platform.sleep(30); }), 30ms);
  EXPECT_GT(alarms, 0);
  const auto timer = platform.create_waitable_timer();
  ASSERT_NE(timer, nullptr);
  EXPECT_GE(interrupted([&] {
              platform.set_waitable_timer(timer, -300'000);  // 30 ms
              platform.wait_for_single_object(timer);
            }),
            30ms);
  EXPECT_GT(alarms, 0);
  // A due time of 0 still fires rather than disarming the timer for ever.
  ASSERT_TRUE(platform.set_waitable_timer(timer, 0));
  platform.wait_for_single_object(timer);
  EXPECT_FALSE(platform.set_waitable_timer(timer, 10'000)) << "absolute due times have no meaning here";
  platform.close_handle(timer);
  EXPECT_FALSE(platform.set_waitable_timer(nullptr, -10'000));
}

}  // namespace
