// Linux answers to the signals, suspension, terminal and system facts.
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/utsname.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <fstream>
#include <string>

#include "measure/system_platform.hpp"

namespace measure {
namespace {

// The stop signals, and the request to suspend (Ctrl+Z), which the program
// carries out itself, once the screen is off the terminal.
constexpr std::array kCaughtSignals{SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP};

std::atomic<int> caught_signal{0};
std::atomic<bool> suspension_asked{false};
std::atomic<std::uint64_t> resumes{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free atomic");
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free atomic");
static_assert(std::atomic<std::uint64_t>::is_always_lock_free, "the signal handler needs a lock-free atomic");

void record_suspension(int) { suspension_asked.store(true); }

void count_resume(int) { resumes.fetch_add(1, std::memory_order_relaxed); }

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

sigset_t signal_set(std::initializer_list<int> signals) {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : signals) {
    sigaddset(&set, signal);
  }
  return set;
}

sigset_t caught_signal_set() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : kCaughtSignals) {
    sigaddset(&set, signal);
  }
  return set;
}

}  // namespace

std::uint64_t SystemPlatform::resume_count() { return resumes.load(std::memory_order_relaxed); }

void SystemPlatform::count_resumes_here() {
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
    const sigset_t set = signal_set({SIGCONT});
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  }
}

bool SystemPlatform::suspension_requested() { return suspension_asked.exchange(false); }

void SystemPlatform::suspend() {
  struct sigaction stop {};
  stop.sa_handler = SIG_DFL;
  sigemptyset(&stop.sa_mask);
  struct sigaction caught {};
  sigaction(SIGTSTP, &stop, &caught);
  const sigset_t set = signal_set({SIGTSTP});
  sigset_t held;
  pthread_sigmask(SIG_UNBLOCK, &set, &held);
  raise(SIGTSTP);
  pthread_sigmask(SIG_SETMASK, &held, nullptr);
  sigaction(SIGTSTP, &caught, nullptr);
}

void SystemPlatform::hold_stop_signals() {
  sigset_t set = caught_signal_set();
  sigaddset(&set, SIGCONT);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void SystemPlatform::catch_stop_signals() {
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

int SystemPlatform::caught_stop_signal() { return caught_signal.load(); }

int SystemPlatform::end_by_signal(int signal) {
  // Dying of the signal itself, rather than exiting with a status, tells a
  // calling shell that the user interrupted it, so a script stops too.
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
  const sigset_t set = signal_set({signal});
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  raise(signal);
  return 128 + signal;
}

void SystemPlatform::prepare_console() {}

bool SystemPlatform::input_is_terminal() { return isatty(STDIN_FILENO) == 1; }
bool SystemPlatform::output_is_terminal() { return isatty(STDOUT_FILENO) == 1; }
std::optional<int> SystemPlatform::error_terminal_width() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) {
    return std::nullopt;
  }
  // A job in the background would write over the shell's prompt.
  const pid_t foreground = tcgetpgrp(STDERR_FILENO);
  if (foreground > 0 && foreground != getpgrp()) {
    return std::nullopt;
  }
  return size.ws_col;
}

TerminalState SystemPlatform::terminal_state() {
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

SystemInfo SystemPlatform::system_info() {
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

}  // namespace measure
