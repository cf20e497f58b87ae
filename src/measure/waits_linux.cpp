// Linux answers to the waits: counter, sleeps, timers, CPU time, priorities,
// timer resolution and the resumes after a suspension.
//
// Counter: CLOCK_MONOTONIC in nanoseconds. Waits: clock_nanosleep, a timerfd
// (the plain timer) and clock_nanosleep to an absolute deadline (the
// high-resolution one, as real-time loops wait). Timer resolution: Linux
// timers are high-resolution; what widens a 1 ms sleep here is the thread's timer slack, so the "resolution" asked for
// is the slack wanted for the sampler's waits, bounded by the clock's
// granularity (finest) and the kernel tick (coarsest), and the one in effect is
// the slack the kernel applies to the thread that waits, as that thread reads
// it back: none for a real-time thread, whatever was asked.
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <optional>

#include "measure/waits.hpp"

namespace measure {
namespace {

constexpr std::int64_t kNanosPerSecond = 1'000'000'000;
constexpr std::uint64_t kNanosPerMicro = 1'000;

std::uint64_t resolution_ns(clockid_t clock) {
  timespec res{};
  if (clock_getres(clock, &res) != 0) {
    return 0;
  }
  return static_cast<std::uint64_t>(res.tv_sec) * kNanosPerSecond + static_cast<std::uint64_t>(res.tv_nsec);
}

timespec to_timespec(std::uint64_t ns) {
  return timespec{static_cast<time_t>(ns / kNanosPerSecond), static_cast<long>(ns % kNanosPerSecond)};
}

std::uint64_t nanoseconds(std::chrono::microseconds duration) {
  return duration.count() > 0 ? static_cast<std::uint64_t>(duration.count()) * kNanosPerMicro : 0;
}

// Never below 1 µs: the program counts whole microseconds.
std::uint32_t finest_us() {
  return static_cast<std::uint32_t>(std::max<std::uint64_t>(1, resolution_ns(CLOCK_MONOTONIC) / kNanosPerMicro));
}
std::uint32_t coarsest_us() {
  return std::max(finest_us(), static_cast<std::uint32_t>(resolution_ns(CLOCK_MONOTONIC_COARSE) / kNanosPerMicro));
}

std::uint64_t slack_of_this_thread() {
  const int slack = prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
  return slack > 0 ? static_cast<std::uint64_t>(slack) : 0;
}

// The slack wanted for the waits, and the one the waiting thread last read
// back from the kernel.
struct Slack {
  // A new thread starts with the slack of the one that made it; the kernel's
  // default is 50 µs.
  const std::uint64_t initial_ns = slack_of_this_thread() > 0 ? slack_of_this_thread() : 50'000;
  std::atomic<std::uint64_t> wanted_ns{initial_ns};
  std::atomic<std::uint64_t> in_effect_ns{slack_of_this_thread()};

  // Reads back the slack the kernel applies to the calling thread (it keeps
  // none for a real-time thread, and ignores requests there).
  void publish() { in_effect_ns.store(slack_of_this_thread(), std::memory_order_relaxed); }

  // Brings the calling thread's slack to the wanted value. When nothing has
  // changed this is one atomic load and a compare, so it costs a timed wait
  // nothing measurable.
  void apply() {
    thread_local std::uint64_t applied_ns = 0;
    const std::uint64_t wanted = wanted_ns.load(std::memory_order_relaxed);
    if (wanted != applied_ns) {
      prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(wanted), 0, 0, 0);
      applied_ns = wanted;
      publish();
    }
  }
};

Slack& slack() {
  static Slack state;
  return state;
}

class TimerFd final : public OneShotTimer {
 public:
  explicit TimerFd(int fd) : OneShotTimer(TimerKind::Plain), fd_(fd) {}
  ~TimerFd() override { close(fd_); }

  bool arm(std::chrono::microseconds after) override {
    // A zero expiry would disarm the timer and leave its waiter blocked for ever.
    itimerspec spec{};
    spec.it_value = to_timespec(std::max<std::uint64_t>(1, nanoseconds(after)));
    return timerfd_settime(fd_, 0, &spec, nullptr) == 0;
  }

  void wait() override {
    std::uint64_t expirations = 0;
    // A signal handler interrupts the read; the timer has not fired yet.
    while (read(fd_, &expirations, sizeof expirations) < 0 && errno == EINTR) {
    }
  }

 private:
  const int fd_;
};

// Sleeps to an absolute deadline on the monotonic clock: a signal that
// interrupts it does not push the deadline back.
class DeadlineSleep final : public OneShotTimer {
 public:
  DeadlineSleep() : OneShotTimer(TimerKind::HighResolution) {}

  bool arm(std::chrono::microseconds after) override {
    timespec now{};
    if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) {
      return false;
    }
    const std::uint64_t ns = static_cast<std::uint64_t>(now.tv_sec) * kNanosPerSecond +
                             static_cast<std::uint64_t>(now.tv_nsec) + nanoseconds(after);
    deadline_ = to_timespec(ns);
    return true;
  }

  void wait() override {
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline_, nullptr) == EINTR) {
    }
  }

 private:
  timespec deadline_{};
};

// Resumes after a suspension, counted by the SIGCONT handler. The process's
// hold on the stop signals keeps SIGCONT off every other thread, so that the
// measuring thread, which alone takes it, counts a resume before it runs on.
std::atomic<std::uint64_t> resumes{0};
static_assert(std::atomic<std::uint64_t>::is_always_lock_free, "the signal handler needs a lock-free atomic");

void count_resume(int) { resumes.fetch_add(1, std::memory_order_relaxed); }

class SystemWaits final : public Waits {
  // The calling thread's nice value before it raised it.
  static inline thread_local std::optional<int> nice_before_raise;

 public:
  std::int64_t counter_frequency() override { return kNanosPerSecond; }

  std::int64_t read_counter() override {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * kNanosPerSecond + now.tv_nsec;
  }

  void sleep(std::chrono::microseconds duration) override {
    timespec request = to_timespec(nanoseconds(duration));
    timespec remaining{};
    // A signal handler interrupts the sleep; carry on with what is left.
    while (clock_nanosleep(CLOCK_MONOTONIC, 0, &request, &remaining) == EINTR) {
      request = remaining;
    }
  }

  bool sleeps_whole_milliseconds() override { return false; }

  std::unique_ptr<OneShotTimer> create_timer(TimerKind kind) override {
    if (kind == TimerKind::HighResolution) {
      return std::make_unique<DeadlineSleep>();
    }
    const int fd = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    if (fd < 0) {
      return nullptr;
    }
    return std::make_unique<TimerFd>(fd);
  }

  std::optional<std::uint64_t> thread_cpu_ns() override {
    timespec used{};
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &used) != 0) {
      return std::nullopt;
    }
    return static_cast<std::uint64_t>(used.tv_sec) * kNanosPerSecond + static_cast<std::uint64_t>(used.tv_nsec);
  }

  bool raise_process_priority() override {
    // Linux has no process-wide class: raise the calling thread's nice value
    // (PRIO_PROCESS of 0 is the calling thread here); threads it creates
    // afterwards inherit it.
    errno = 0;
    const int before = getpriority(PRIO_PROCESS, 0);
    if (errno == 0 && !nice_before_raise) {
      nice_before_raise = before;
    }
    return setpriority(PRIO_PROCESS, 0, -20) == 0;
  }

  void restore_process_priority() override {
    // A higher nice value is never refused.
    if (nice_before_raise) {
      setpriority(PRIO_PROCESS, 0, *nice_before_raise);
      nice_before_raise.reset();
    }
  }

  bool raise_thread_priority() override {
    // The sampling thread calls this first, so its own slack is in place
    // before its first timed wait.
    slack().apply();
    sched_param param{};
    param.sched_priority = sched_get_priority_max(SCHED_FIFO);
    const bool raised = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
    // A real-time thread has no slack left.
    slack().publish();
    return raised;
  }

  std::optional<TimerResolution> query_timer_resolution() override {
    return TimerResolution{
        coarsest_us(), finest_us(),
        static_cast<std::uint32_t>(slack().in_effect_ns.load(std::memory_order_relaxed) / kNanosPerMicro)};
  }

  std::optional<std::uint32_t> request_timer_resolution(std::uint32_t us) override {
    const std::uint32_t wanted_us = std::clamp(us, finest_us(), coarsest_us());
    slack().wanted_ns.store(std::uint64_t{wanted_us} * kNanosPerMicro, std::memory_order_relaxed);
    // The waiting thread takes the wish when next ready to wait; a real-time one
    // (the only kind to read back no slack) keeps none.
    return slack().in_effect_ns.load(std::memory_order_relaxed) == 0 ? 0 : wanted_us;
  }

  void release_timer_resolution(std::uint32_t) override {
    slack().wanted_ns.store(slack().initial_ns, std::memory_order_relaxed);
  }

  // Timer slack belongs to the waiting thread; nothing sets it aside.
  TimerRequestKept keep_timer_request_when_hidden() override { return TimerRequestKept::NotApplicable; }

  std::uint64_t resume_count() override { return resumes.load(std::memory_order_relaxed); }

  void ready_to_wait() override { slack().apply(); }

  void measure_on_this_thread() override {
    // The slack wanted, in place before the first wait and read back: a
    // thread that asked for no priority has its own, even where it only
    // spins, not what the thread that measured before it had.
    slack().apply();
    slack().publish();
    // Continuing a stopped process hands SIGCONT to one thread that does not
    // block it, and that thread runs the handler before anything else: when
    // it is the measuring thread, a wait it was stopped in is never taken for
    // a short one.
    static const bool counting = [] {
      struct sigaction action {};
      action.sa_handler = count_resume;
      sigemptyset(&action.sa_mask);
      action.sa_flags = SA_RESTART;
      return sigaction(SIGCONT, &action, nullptr) == 0;
    }();
    if (counting) {
      sigset_t set;
      sigemptyset(&set);
      sigaddset(&set, SIGCONT);
      pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    }
  }
};

}  // namespace

Waits& system_waits() {
  static SystemWaits waits;
  // The slack a new thread starts with is that of the thread that asks first,
  // before any thread has been raised.
  [[maybe_unused]] static const Slack& state = slack();
  return waits;
}

}  // namespace measure
