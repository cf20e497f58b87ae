// Linux answers to the stop signals, the suspension and the system facts.
#include <pthread.h>
#include <signal.h>
#include <sys/utsname.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <fstream>
#include <string>

#include "measure/process.hpp"

namespace measure {
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

class SystemProcess final : public Process {
 public:
  bool suspension_requested() override { return suspension_asked.exchange(false); }

  void suspend() override {
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

  void hold_stop_signals() override {
    // SIGCONT too: the measuring thread alone unblocks it, to count the
    // resumes before it runs on (waits_linux.cpp).
    sigset_t set = caught_signal_set();
    sigaddset(&set, SIGCONT);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
  }

  void catch_stop_signals() override {
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

  int caught_stop_signal() override { return caught_signal.load(); }

  int end_by_signal(int signal) override {
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

  SystemInfo system_info() override {
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
};

}  // namespace

Process& system_process() {
  static SystemProcess process;
  return process;
}

}  // namespace measure
