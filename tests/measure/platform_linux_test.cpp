// The Linux platform layer against the real kernel.
#include <linux/capability.h>
#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

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
#include "support/eventually.hpp"
#include "support/tui_peer.hpp"
#include "tui/real_time_tui.hpp"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing_support::eventually;

std::uint64_t res_100ns(clockid_t clock) {
  timespec res{};
  clock_getres(clock, &res);
  return (static_cast<std::uint64_t>(res.tv_sec) * 1'000'000'000 + static_cast<std::uint64_t>(res.tv_nsec)) / 100;
}

long thread_slack_ns() { return prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0); }

// Runs `fn` on a fresh thread and waits for it.
void on_fresh_thread(const std::function<void()>& fn) { std::thread(fn).join(); }

// Takes CAP_SYS_NICE out of the calling thread's effective set for its
// lifetime, so that threads created meanwhile get what an unprivileged user
// gets: no nice below 0 and no SCHED_FIFO (RLIMIT_RTPRIO is normally 0).
class WithoutRealTimeRights {
 public:
  WithoutRealTimeRights() {
    syscall(SYS_capget, &header_, saved_);
    __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
    reduced[0].effective &= ~(1U << CAP_SYS_NICE);
    syscall(SYS_capset, &header_, reduced);
  }
  WithoutRealTimeRights(const WithoutRealTimeRights&) = delete;
  WithoutRealTimeRights& operator=(const WithoutRealTimeRights&) = delete;
  ~WithoutRealTimeRights() { syscall(SYS_capset, &header_, saved_); }

 private:
  __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct saved_[2]{};
};

bool has_cap_sys_nice() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2]{};
  syscall(SYS_capget, &header, data);
  return (data[0].effective & (1U << CAP_SYS_NICE)) != 0;
}

// Every test leaves the process-wide resolution as it found it.
class LinuxPlatform : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(platform.nt_query_timer_resolution(coarsest, finest, initial), measure::kStatusSuccess);
  }
  void TearDown() override { set_resolution(initial); }

  std::uint32_t set_resolution(std::uint32_t units) {
    std::uint32_t actual = 0;
    EXPECT_EQ(platform.nt_set_timer_resolution(units, true, actual), measure::kStatusSuccess);
    return actual;
  }

  measure::Platform& platform = measure::system_platform();
  std::uint32_t coarsest = 0;
  std::uint32_t finest = 0;
  std::uint32_t initial = 0;
};

TEST_F(LinuxPlatform, QueryReportsTickAndClockGranularityIn100nsUnits) {
  EXPECT_EQ(coarsest, res_100ns(CLOCK_MONOTONIC_COARSE));  // 40,000 at HZ=250
  EXPECT_EQ(finest, std::max<std::uint64_t>(10, res_100ns(CLOCK_MONOTONIC)));
  EXPECT_GE(finest, 10U);  // never below 1 μs: the interface counts whole microseconds
  EXPECT_GE(coarsest, finest);
  // Until changed, the process's own slack (normally 50 μs).
  EXPECT_EQ(initial, static_cast<std::uint32_t>(thread_slack_ns() / 100));
}

TEST_F(LinuxPlatform, RequestsAreClampedIntoTheReportedRange) {
  EXPECT_EQ(set_resolution(0), finest);
  EXPECT_EQ(set_resolution(1), finest);
  EXPECT_EQ(set_resolution(std::numeric_limits<std::uint32_t>::max()), coarsest);
  EXPECT_EQ(set_resolution(coarsest + 1), coarsest);
  const std::uint32_t middle = std::max(finest, std::min(coarsest, 2'345U));
  EXPECT_EQ(set_resolution(middle), middle);

  std::uint32_t c = 0;
  std::uint32_t f = 0;
  std::uint32_t current = 0;
  ASSERT_EQ(platform.nt_query_timer_resolution(c, f, current), measure::kStatusSuccess);
  EXPECT_EQ(current, middle);

  // Asking without setting changes nothing and reports the value in effect.
  std::uint32_t actual = 0;
  EXPECT_EQ(platform.nt_set_timer_resolution(finest, false, actual), measure::kStatusSuccess);
  EXPECT_EQ(actual, middle);
}

TEST_F(LinuxPlatform, WaitsApplyTheSlackToTheWaitingThread) {
  const std::uint32_t first = set_resolution(2'000);  // 200 μs
  const std::uint32_t second = set_resolution(3'000);
  set_resolution(first);
  long after_sleep = 0;
  long after_change = 0;
  long after_timer = 0;
  on_fresh_thread([&] {
    platform.sleep(1);
    after_sleep = thread_slack_ns();
    set_resolution(second);  // e.g. an arrow key while the thread runs
    const auto timer = platform.create_waitable_timer();
    ASSERT_NE(timer, nullptr);
    ASSERT_TRUE(platform.set_waitable_timer(timer, -10'000));
    platform.wait_for_single_object(timer);
    platform.close_handle(timer);
    after_change = thread_slack_ns();
  });
  // A clamped request too: the finest interval.
  set_resolution(0);
  on_fresh_thread([&] {
    platform.sleep(1);
    after_timer = thread_slack_ns();
  });
  EXPECT_EQ(after_sleep, 100L * first);
  EXPECT_EQ(after_change, 100L * second);
  EXPECT_EQ(after_timer, 100L * finest);
}

// Sits between the interface object and the system, noting on the sampling
// thread, after each real wait, what slack and policy it waited with.
class ProbePlatform : public measure::Platform {
 public:
  std::int64_t query_performance_frequency() override { return real_.query_performance_frequency(); }
  std::int64_t query_performance_counter() override { return real_.query_performance_counter(); }
  void sleep(std::uint32_t ms) override {
    real_.sleep(ms);
    slack_ns = thread_slack_ns();
    policy = sched_getscheduler(0);
    ++waits;
  }
  measure::TimerHandle create_waitable_timer() override { return real_.create_waitable_timer(); }
  bool set_waitable_timer(measure::TimerHandle t, std::int64_t due) override {
    return real_.set_waitable_timer(t, due);
  }
  void wait_for_single_object(measure::TimerHandle t) override { real_.wait_for_single_object(t); }
  void close_handle(measure::TimerHandle t) override { real_.close_handle(t); }
  bool set_priority_class_realtime() override { return real_.set_priority_class_realtime(); }
  bool set_thread_priority_time_critical() override { return real_.set_thread_priority_time_critical(); }
  measure::NtStatus nt_query_timer_resolution(std::uint32_t& c, std::uint32_t& f, std::uint32_t& cur) override {
    return real_.nt_query_timer_resolution(c, f, cur);
  }
  measure::NtStatus nt_set_timer_resolution(std::uint32_t desired, bool set, std::uint32_t& actual) override {
    return real_.nt_set_timer_resolution(desired, set, actual);
  }

  std::atomic<long> slack_ns{-1};
  std::atomic<int> policy{-1};
  std::atomic<int> waits{0};

 private:
  measure::Platform& real_ = measure::system_platform();
};

TEST_F(LinuxPlatform, TheSamplingThreadWaitsWithTheSlackInEffect) {
  const WithoutRealTimeRights unprivileged;
  const std::uint32_t first = set_resolution(2'000);
  ProbePlatform probe;
  tui::RealTimeTUI ui(probe);
  tui::RealTimeTUITestPeer peer(ui);
  peer.running() = true;
  peer.start_sampling();
  ASSERT_TRUE(eventually([&] { return probe.waits >= 2; }));
  if (probe.policy == SCHED_FIFO) {
    ui.quit();
    GTEST_SKIP() << "RLIMIT_RTPRIO grants SCHED_FIFO here, which ignores timer slack";
  }
  EXPECT_EQ(probe.slack_ns, 100L * first);

  // A change reaches the running thread at its next wait.
  const std::uint32_t second = set_resolution(3'000);
  EXPECT_TRUE(eventually([&] { return probe.slack_ns == 100L * second; })) << probe.slack_ns;
  ui.quit();
}

// What the two priority requests gave a fresh thread that starts at nice 0.
struct Raised {
  bool class_granted = false;
  bool thread_granted = false;
  int nice = 0;
  int policy = -1;
  int priority = -1;
};

Raised raise_fresh_thread(measure::Platform& platform) {
  Raised r;
  on_fresh_thread([&] {
    setpriority(PRIO_PROCESS, 0, 0);  // a raise in nice is always allowed
    r.class_granted = platform.set_priority_class_realtime();
    r.thread_granted = platform.set_thread_priority_time_critical();
    r.nice = getpriority(PRIO_PROCESS, 0);  // this thread's own
    sched_param param{};
    pthread_getschedparam(pthread_self(), &r.policy, &param);
    r.priority = param.sched_priority;
  });
  return r;
}

TEST_F(LinuxPlatform, PriorityRequestsRaiseTheCallingThreadWhenAllowed) {
  const bool privileged = has_cap_sys_nice();
  const int own_nice = getpriority(PRIO_PROCESS, 0);
  const Raised raised = raise_fresh_thread(platform);
  EXPECT_EQ(raised.class_granted, raised.nice == -20);
  EXPECT_EQ(raised.thread_granted, raised.policy == SCHED_FIFO);
  if (privileged) {
    EXPECT_TRUE(raised.class_granted);
    EXPECT_TRUE(raised.thread_granted);
    EXPECT_EQ(raised.priority, sched_get_priority_max(SCHED_FIFO));
  }
  EXPECT_EQ(getpriority(PRIO_PROCESS, 0), own_nice) << "only the calling thread is raised";

  const WithoutRealTimeRights unprivileged;
  const Raised refused = raise_fresh_thread(platform);
  EXPECT_FALSE(refused.class_granted);
  EXPECT_EQ(refused.nice, 0);
  EXPECT_EQ(refused.thread_granted, refused.policy == SCHED_FIFO);
}

TEST_F(LinuxPlatform, TimerWaitLastsAtLeastItsDueTime) {
  const auto timer = platform.create_waitable_timer();
  ASSERT_NE(timer, nullptr);
  const auto start = Clock::now();
  ASSERT_TRUE(platform.set_waitable_timer(timer, -10'000));
  platform.wait_for_single_object(timer);
  EXPECT_GE(Clock::now() - start, 1000us);

  // A due time of 0 still fires rather than disarming the timer.
  ASSERT_TRUE(platform.set_waitable_timer(timer, 0));
  platform.wait_for_single_object(timer);
  // Absolute due times have no meaning here.
  EXPECT_FALSE(platform.set_waitable_timer(timer, 10'000));
  platform.close_handle(timer);
  EXPECT_FALSE(platform.set_waitable_timer(nullptr, -10'000));
}

TEST_F(LinuxPlatform, SleepLastsAtLeastOneMillisecond) {
  for (int i = 0; i < 20; ++i) {
    const auto start = Clock::now();
    platform.sleep(1);
    EXPECT_GE(Clock::now() - start, 1ms);
  }
}

std::atomic<int> alarms{0};
extern "C" void count_alarm(int) { ++alarms; }

// Sends SIGALRM (handled, without SA_RESTART) to a thread again and again
// while it runs `wait`, and returns how long the wait lasted.
Clock::duration interrupted(const std::function<void()>& wait) {
  struct sigaction action {};
  action.sa_handler = count_alarm;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  struct sigaction previous {};
  sigaction(SIGALRM, &action, &previous);

  alarms = 0;
  std::atomic<bool> started{false};
  std::atomic<bool> done{false};
  Clock::duration lasted{};
  std::thread waiter([&] {
    started = true;
    const auto start = Clock::now();
    wait();
    lasted = Clock::now() - start;
    done = true;
  });
  while (!started) {
    std::this_thread::yield();
  }
  while (!done) {
    pthread_kill(waiter.native_handle(), SIGALRM);
    std::this_thread::sleep_for(2ms);
  }
  waiter.join();
  sigaction(SIGALRM, &previous, nullptr);
  return lasted;
}

TEST_F(LinuxPlatform, WaitsResumeAfterASignal) {
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
  platform.close_handle(timer);
}

}  // namespace
