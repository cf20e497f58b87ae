// Linux answers to the platform operations.
//
// Counter: CLOCK_MONOTONIC in nanoseconds. Waits: clock_nanosleep and a
// timerfd. Timer resolution: Linux timers are high-resolution; what widens a
// 1 ms sleep here is the thread's timer slack, so the "resolution" asked for
// is the slack wanted for the sampler's waits, bounded by the clock's
// granularity (finest) and the kernel tick (coarsest), and the one in effect is
// the slack the kernel applies to the thread that waits, as that thread reads
// it back: none for a real-time thread, whatever was asked.
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/timerfd.h>
#include <sys/utsname.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <fstream>
#include <string>

#include "measure/platform.hpp"

namespace measure {
namespace {

constexpr std::int64_t kNanosPerSecond = 1'000'000'000;
constexpr std::uint64_t kNanosPer100ns = 100;

std::uint64_t resolution_100ns(clockid_t clock) {
  timespec res{};
  if (clock_getres(clock, &res) != 0) {
    return 0;
  }
  const auto ns = static_cast<std::uint64_t>(res.tv_sec) * kNanosPerSecond + static_cast<std::uint64_t>(res.tv_nsec);
  return ns / kNanosPer100ns;
}

timespec to_timespec(std::uint64_t ns) {
  return timespec{static_cast<time_t>(ns / kNanosPerSecond), static_cast<long>(ns % kNanosPerSecond)};
}

int fd_of(TimerHandle timer) { return static_cast<int>(reinterpret_cast<std::intptr_t>(timer)) - 1; }
TimerHandle handle_of(int fd) { return reinterpret_cast<TimerHandle>(static_cast<std::intptr_t>(fd) + 1); }

class LinuxPlatform final : public Platform {
 public:
  LinuxPlatform() {
    const int slack = prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
    wanted_slack_ns_.store(slack > 0 ? static_cast<std::uint64_t>(slack) : 50'000, std::memory_order_relaxed);
    // Until a thread has waited, the slack a new thread starts with.
    slack_in_effect_ns_.store(slack > 0 ? static_cast<std::uint64_t>(slack) : 0, std::memory_order_relaxed);
  }

  std::int64_t query_performance_frequency() override { return kNanosPerSecond; }

  std::int64_t query_performance_counter() override {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * kNanosPerSecond + now.tv_nsec;
  }

  void sleep(std::uint32_t milliseconds) override {
    apply_slack();
    timespec request = to_timespec(static_cast<std::uint64_t>(milliseconds) * 1'000'000);
    timespec remaining{};
    // A signal handler interrupts the sleep; carry on with what is left.
    while (clock_nanosleep(CLOCK_MONOTONIC, 0, &request, &remaining) == EINTR) {
      request = remaining;
    }
  }

  TimerHandle create_waitable_timer() override {
    const int fd = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    return fd < 0 ? nullptr : handle_of(fd);
  }

  bool set_waitable_timer(TimerHandle timer, std::int64_t due_time_100ns) override {
    // Only relative due times are used; an absolute Windows file time has no meaning here.
    if (timer == nullptr || due_time_100ns > 0) {
      return false;
    }
    // A zero expiry would disarm the timer and leave its waiter blocked for ever.
    const std::uint64_t ns = std::max<std::uint64_t>(1, static_cast<std::uint64_t>(-due_time_100ns) * kNanosPer100ns);
    itimerspec spec{};
    spec.it_value = to_timespec(ns);
    apply_slack();
    return timerfd_settime(fd_of(timer), 0, &spec, nullptr) == 0;
  }

  void wait_for_single_object(TimerHandle timer) override {
    std::uint64_t expirations = 0;
    while (read(fd_of(timer), &expirations, sizeof expirations) < 0 && errno == EINTR) {
    }
  }

  void close_handle(TimerHandle timer) override {
    if (timer != nullptr) {
      close(fd_of(timer));
    }
  }

  bool set_priority_class_realtime() override {
    // Linux has no process-wide class: raise the calling thread's nice value;
    // threads it creates afterwards inherit it.
    return setpriority(PRIO_PROCESS, 0, -20) == 0;
  }

  bool set_thread_priority_time_critical() override {
    // The sampling thread calls this first, so its own slack is in place
    // before its first timed wait.
    apply_slack();
    sched_param param{};
    param.sched_priority = sched_get_priority_max(SCHED_FIFO);
    const bool raised = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
    // A real-time thread has no slack left.
    publish_slack();
    return raised;
  }

  NtStatus nt_query_timer_resolution(std::uint32_t& coarsest, std::uint32_t& finest, std::uint32_t& current) override {
    coarsest = static_cast<std::uint32_t>(coarsest_100ns());
    finest = static_cast<std::uint32_t>(finest_100ns());
    current = static_cast<std::uint32_t>(slack_in_effect_ns_.load(std::memory_order_relaxed) / kNanosPer100ns);
    return kStatusSuccess;
  }

  NtStatus nt_set_timer_resolution(std::uint32_t desired, bool set, std::uint32_t& actual) override {
    if (set) {
      const std::uint64_t clamped = std::clamp<std::uint64_t>(desired, finest_100ns(), coarsest_100ns());
      wanted_slack_ns_.store(clamped * kNanosPer100ns, std::memory_order_relaxed);
    }
    // The waiting thread applies the wish at its next wait; until then the
    // old slack is the one in effect.
    actual = static_cast<std::uint32_t>(slack_in_effect_ns_.load(std::memory_order_relaxed) / kNanosPer100ns);
    return kStatusSuccess;
  }

  std::uint64_t resume_count() override;

 private:
  static std::uint64_t finest_100ns() {
    // Never below 1 µs: the interface counts whole microseconds.
    return std::max<std::uint64_t>(10, resolution_100ns(CLOCK_MONOTONIC));
  }
  static std::uint64_t coarsest_100ns() { return std::max(finest_100ns(), resolution_100ns(CLOCK_MONOTONIC_COARSE)); }

  // Brings the calling thread's slack to the wanted value. When nothing has
  // changed this is one atomic load and a compare, so it costs a timed wait
  // nothing measurable.
  void apply_slack() {
    thread_local std::uint64_t applied_ns = 0;
    const std::uint64_t wanted = wanted_slack_ns_.load(std::memory_order_relaxed);
    if (wanted != applied_ns) {
      prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(wanted), 0, 0, 0);
      applied_ns = wanted;
      publish_slack();
    }
  }

  // Reads back the slack the kernel applies to the calling thread (it keeps
  // none for a real-time thread, and ignores requests there) for the
  // interface to show.
  void publish_slack() {
    const int slack = prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
    if (slack >= 0) {
      slack_in_effect_ns_.store(static_cast<std::uint64_t>(slack), std::memory_order_relaxed);
    }
  }

  std::atomic<std::uint64_t> wanted_slack_ns_{0};
  std::atomic<std::uint64_t> slack_in_effect_ns_{0};
};

std::atomic<std::uint64_t> resumes{0};
static_assert(std::atomic<std::uint64_t>::is_always_lock_free, "the signal handler needs a lock-free atomic");

void count_resume(int) { resumes.fetch_add(1, std::memory_order_relaxed); }

std::uint64_t LinuxPlatform::resume_count() { return resumes.load(std::memory_order_relaxed); }

}  // namespace

Platform& system_platform() {
  static LinuxPlatform platform;
  return platform;
}

void prepare_console() {}

bool input_is_terminal() { return isatty(STDIN_FILENO) == 1; }
bool output_is_terminal() { return isatty(STDOUT_FILENO) == 1; }
bool error_is_terminal() { return isatty(STDERR_FILENO) == 1; }

SystemInfo system_info() {
  SystemInfo info;
  utsname names{};
  if (uname(&names) == 0) {
    info = {names.sysname, names.release, names.version, names.machine, ""};
  }
  // x86 kernels name the model; others (most ARM ones) do not.
  std::ifstream cpuinfo("/proc/cpuinfo");
  for (std::string line; std::getline(cpuinfo, line);) {
    if (line.rfind("model name", 0) == 0 && line.find(':') != std::string::npos) {
      const auto begin = line.find_first_not_of(" \t", line.find(':') + 1);
      const auto end = line.find_last_not_of(" \t");
      info.cpu_model = begin == std::string::npos ? "" : line.substr(begin, end - begin + 1);
      break;
    }
  }
  return info;
}

// Timer slack belongs to the waiting thread; nothing sets it aside.
TimerRequestKept keep_timer_request_when_hidden() { return TimerRequestKept::NotApplicable; }

TerminalState terminal_state() {
  // A hung-up or closed terminal reports a hang-up or an error on both ends;
  // reading it gives end of input, or EIO, for ever.
  std::array<pollfd, 2> ends{{{STDIN_FILENO, POLLIN, 0}, {STDOUT_FILENO, POLLOUT, 0}}};
  if (poll(ends.data(), ends.size(), 0) >= 0) {
    for (const pollfd& end : ends) {
      if ((end.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        return TerminalState::Gone;
      }
    }
  }
  // Not the terminal's foreground job: the shell has given it to another.
  const pid_t foreground = tcgetpgrp(STDIN_FILENO);
  return foreground > 0 && foreground != getpgrp() ? TerminalState::Background : TerminalState::Own;
}

namespace {

// The stop signals, and the request to suspend (Ctrl+Z), which the program
// carries out itself, once the screen is off the terminal.
constexpr std::array kCaughtSignals{SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP};

std::atomic<int> caught_signal{0};
std::atomic<bool> suspension_asked{false};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free atomic");
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free atomic");

void record_suspension(int) { suspension_asked.store(true); }

void record_stop_signal(int signal) {
  int none = 0;
  caught_signal.compare_exchange_strong(none, signal);
  // The program ends now. Killed while suspended, it is resumed in the
  // background, where restoring the terminal would stop it again (SIGTTOU)
  // until someone brought it back with fg.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGTTOU, &ignore, nullptr);
}

sigset_t caught_signal_set() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : kCaughtSignals) {
    sigaddset(&set, signal);
  }
  return set;
}

sigset_t resume_signal_set() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGCONT);
  return set;
}

}  // namespace

void hold_stop_signals() {
  sigset_t set = caught_signal_set();
  sigaddset(&set, SIGCONT);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void catch_stop_signals() {
  // A signal ignored when the program started (a background job's interrupt,
  // nohup's hang-up) stays ignored, whoever changed it since.
  static const std::array<bool, kCaughtSignals.size()> ignored_at_start = [] {
    std::array<bool, kCaughtSignals.size()> ignored{};
    for (std::size_t i = 0; i < kCaughtSignals.size(); ++i) {
      struct sigaction current {};
      ignored[i] = sigaction(kCaughtSignals[i], nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
    }
    return ignored;
  }();
  struct sigaction action {};
  sigfillset(&action.sa_mask);
  // Restarted calls: an interrupted write of a frame would otherwise fail and
  // leave the output stream unusable, the terminal restore included.
  action.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < kCaughtSignals.size(); ++i) {
    const bool suspension = kCaughtSignals[i] == SIGTSTP;
    action.sa_handler = ignored_at_start[i] ? SIG_IGN : suspension ? record_suspension : record_stop_signal;
    sigaction(kCaughtSignals[i], &action, nullptr);
  }
  const sigset_t set = caught_signal_set();
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

bool suspension_requested() { return suspension_asked.exchange(false); }

void suspend() {
  struct sigaction stop {};
  stop.sa_handler = SIG_DFL;
  sigemptyset(&stop.sa_mask);
  struct sigaction caught {};
  sigaction(SIGTSTP, &stop, &caught);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTSTP);
  sigset_t held;
  pthread_sigmask(SIG_UNBLOCK, &set, &held);
  raise(SIGTSTP);
  pthread_sigmask(SIG_SETMASK, &held, nullptr);
  sigaction(SIGTSTP, &caught, nullptr);
}

int caught_stop_signal() { return caught_signal.load(); }

void count_resumes_here() {
  // Continuing a stopped process hands SIGCONT to one thread that does not
  // block it, and that thread runs the handler before anything else: when it
  // is the measuring thread, a wait it was stopped in is never taken for a
  // short one.
  static const bool counting = [] {
    struct sigaction action {};
    action.sa_handler = count_resume;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(SIGCONT, &action, nullptr) == 0;
  }();
  if (counting) {
    const sigset_t set = resume_signal_set();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  }
}

int end_by_signal(int signal) {
  // Dying of the signal itself, rather than exiting with a status, tells a
  // calling shell that the user interrupted it, so a script stops too.
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  raise(signal);
  return 128 + signal;
}

}  // namespace measure
