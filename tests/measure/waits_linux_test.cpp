// The Linux waits against the real kernel. (What the thread's CPU clock
// counts, the end-to-end choice of a wait checks against the kernel's count.)
#include <sys/prctl.h>
#include <sys/time.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <iterator>
#include <thread>
#include <tuple>

#include "measure/waits.hpp"

namespace {

using namespace std::chrono_literals;

measure::Waits& waits = measure::system_waits();

std::uint32_t res_us(clockid_t clock) {
  timespec res{};
  return clock_getres(clock, &res), static_cast<std::uint32_t>((res.tv_sec * 1'000'000'000 + res.tv_nsec) / 1000);
}

// Range: the clock's granularity (at least 1 μs) to the kernel tick. Current:
// the slack the kernel applies to the thread that waits, as it reads it back:
// a wish is in effect once that thread is ready to wait; a real-time thread has
// none; a release brings back the slack the program started with. A request
// answers what it puts in effect: the wish within the range, or 0 once the
// thread that waits is known to be real-time.
TEST(LinuxWaits, CurrentIsTheSlackOfTheThreadThatWaits) {
  const auto query = [] { return waits.query_timer_resolution()->current_us; };
  const auto wait_in_a_thread = [&](bool real_time) {
    bool raised = false;
    std::thread([&] {
      raised = real_time && waits.raise_thread_priority();
      waits.ready_to_wait();
      waits.sleep(1ms);
    }).join();
    return raised;
  };
  const std::uint32_t initial = static_cast<std::uint32_t>(prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0)) / 1000;
  const measure::TimerResolution range = *waits.query_timer_resolution();
  EXPECT_EQ(range.finest_us, std::max(1U, res_us(CLOCK_MONOTONIC)));
  EXPECT_EQ(range.coarsest_us, std::max(range.finest_us, res_us(CLOCK_MONOTONIC_COARSE)));
  const std::uint32_t middle = std::clamp(234U, range.finest_us, range.coarsest_us), max = ~0U;
  for (const auto& [asked, real_time, in_effect] : {std::tuple{0U, false, range.finest_us},
                                                    {middle, false, middle},
                                                    {max, false, range.coarsest_us},
                                                    {middle, true, 0U},
                                                    {max, true, 0U}}) {
    const std::uint32_t before = query();
    const auto answer = waits.request_timer_resolution(asked);
    EXPECT_EQ(query(), before) << asked << ": nothing has waited under it yet";
    EXPECT_EQ(answer, before == 0 ? 0 : std::clamp(asked, range.finest_us, range.coarsest_us)) << asked;
    if (wait_in_a_thread(real_time) == real_time) {  // real time may be refused
      EXPECT_EQ(query(), in_effect) << asked << (real_time ? " in a real-time thread" : "");
    }
  }
  waits.release_timer_resolution(middle);
  wait_in_a_thread(false);
  EXPECT_EQ(query(), initial);
  // Conditions take turns on threads of their own: a thread that measures
  // with no priority asked for reads back its own slack before it waits at
  // all (a spin never applies any), not the real-time one's before it.
  bool raised = false;
  std::thread([&] { raised = waits.raise_thread_priority(), waits.measure_on_this_thread(); }).join();
  if (raised) {  // a real-time thread needs privileges
    EXPECT_EQ(query(), 0U);
    std::thread([&] { waits.measure_on_this_thread(); }).join();
    EXPECT_EQ(query(), initial);
    EXPECT_GT(query(), 0U);
  }
}

std::atomic<int> alarms{0};
extern "C" void count_alarm(int) { ++alarms; }

// SIGALRM, handled without SA_RESTART, every 2 ms, for as long as it lives;
// then the timer off and the handler that was there before.
class Alarms {
 public:
  Alarms() {
    struct sigaction action {};
    action.sa_handler = count_alarm;
    sigaction(SIGALRM, &action, &previous_);
    const itimerval every_2ms{{0, 2'000}, {0, 2'000}};
    setitimer(ITIMER_REAL, &every_2ms, nullptr);
  }
  Alarms(const Alarms&) = delete;
  Alarms& operator=(const Alarms&) = delete;
  ~Alarms() {
    const itimerval off{};
    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &previous_, nullptr);
  }

 private:
  struct sigaction previous_ {};
};

// Interrupted again and again by a signal (to the only thread), each wait
// still lasts its 30 ms: none returns early, and none starts over (it would
// never end); a timer armed for 0 fires rather than disarming. A timer's file
// descriptor is closed with it.
TEST(LinuxWaits, WaitsLastTheirTimeThroughSignals) {
  const auto open_files = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), std::filesystem::directory_iterator{});
  };
  const auto files_before = open_files();
  const Alarms every_2ms;
  for (const auto kind : {std::optional<measure::TimerKind>{}, std::optional(measure::TimerKind::Plain),
                          std::optional(measure::TimerKind::HighResolution)}) {
    alarms = 0;
    const auto start = std::chrono::steady_clock::now();
    if (kind) {
      const auto timer = waits.create_timer(*kind);
      ASSERT_EQ(timer->kind(), *kind);
      ASSERT_TRUE(timer->arm(30ms));
      timer->wait();
      EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);
      ASSERT_TRUE(timer->arm(0us));
      timer->wait();
    } else {
      waits.sleep(30ms);
      EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);
    }
    EXPECT_GT(alarms, 0);
  }
  EXPECT_EQ(open_files(), files_before);
}

}  // namespace
