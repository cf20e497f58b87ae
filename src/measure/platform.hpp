#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace measure {

// What kind of one-shot timer: the system's plain one, or one that fires as
// close to its time as the system can, whatever the timer resolution.
enum class TimerKind { Plain, HighResolution };

// A one-shot kernel timer. Created unarmed; armed to fire once, a duration
// from now; waited on until it has fired; closed when destroyed.
class OneShotTimer {
 public:
  explicit OneShotTimer(TimerKind kind) : kind_(kind) {}
  OneShotTimer(const OneShotTimer&) = delete;
  OneShotTimer& operator=(const OneShotTimer&) = delete;
  virtual ~OneShotTimer() = default;

  // False when the system would not arm it: then it never fires, and
  // waiting on it would block for ever.
  [[nodiscard]] virtual bool arm(std::chrono::microseconds after) = 0;
  // Returns once the armed timer has fired.
  virtual void wait() = 0;
  // What the system made: Plain where it has no high-resolution timer.
  TimerKind kind() const { return kind_; }

 private:
  const TimerKind kind_;
};

// The system timer resolution in whole microseconds.
struct TimerResolution {
  std::uint32_t coarsest_us = 0;
  std::uint32_t finest_us = 0;
  std::uint32_t current_us = 0;
  bool operator==(const TimerResolution&) const = default;
};

// What the system says about itself: the operating system's name, release,
// version and machine as uname names them, and the processor's model name;
// empty where the system does not tell.
struct SystemInfo {
  std::string sysname;
  std::string release;
  std::string version;
  std::string machine;
  std::string cpu_model;
};

// Whether the system keeps this process's timer-resolution request while its
// window is hidden or minimised (Windows 11 sets it aside unless asked not to).
enum class TimerRequestKept { Accepted, Refused, NotApplicable };

// What has become of the terminal the program runs in: still its own; taken by
// the shell for another job (the program was resumed in the background); or
// gone (hung up or closed: its input at an end or failing).
enum class TerminalState { Own, Background, Gone };

// What the program needs of the operating system. The system's own answers
// come from one file per OS for the waits (platform_<os>.cpp) and one for the
// process (process_<os>.cpp); tests substitute a scripted fake.
class Platform {
 public:
  Platform() = default;
  Platform(const Platform&) = delete;
  Platform& operator=(const Platform&) = delete;
  virtual ~Platform() = default;

  // --- Counter and waits ---
  // The high-resolution counter: counts per second, and the current count.
  virtual std::int64_t counter_frequency() = 0;
  virtual std::int64_t read_counter() = 0;
  // Suspends the calling thread for at least `duration`, resumed after a
  // signal. Where the system sleeps whole milliseconds, rounded up to them.
  virtual void sleep(std::chrono::microseconds duration) = 0;
  // Whether `sleep` rounds up to whole milliseconds.
  virtual bool sleeps_whole_milliseconds() = 0;
  // A new one-shot timer of `kind` (or a plain one where the system has no
  // high-resolution timer), or nothing when the system will not make one.
  virtual std::unique_ptr<OneShotTimer> create_timer(TimerKind kind) = 0;
  // The CPU time the calling thread has used, in nanoseconds; nothing where
  // the system will not say.
  virtual std::optional<std::uint64_t> thread_cpu_ns() = 0;

  // --- Priorities; true when the system granted them ---
  // The whole process's (threads created afterwards inherit it).
  virtual bool raise_process_priority() = 0;
  // The calling thread's, the highest there is.
  virtual bool raise_thread_priority() = 0;

  // --- System timer resolution, in microseconds ---
  // The coarsest and finest supported and the one in effect; nothing when
  // the system will not say.
  virtual std::optional<TimerResolution> query_timer_resolution() = 0;
  // Asks for `us`; the resolution then in effect, or nothing when refused.
  virtual std::optional<std::uint32_t> request_timer_resolution(std::uint32_t us) = 0;
  // Withdraws an earlier request for `us`.
  virtual void release_timer_resolution(std::uint32_t us) = 0;
  // Asks that the request hold while the program is hidden; asked once,
  // later calls give the first answer.
  virtual TimerRequestKept keep_timer_request_when_hidden() = 0;

  // --- Suspension (Ctrl+Z, SIGSTOP then SIGCONT) ---
  // How many times the process has been resumed after a suspension. A wait
  // during which it changed lasted the suspension, not the wait. Up to date on
  // the thread that counts the resumes before that thread runs on.
  virtual std::uint64_t resume_count() = 0;
  // Makes the calling thread, the one that measures, that thread.
  virtual void count_resumes_here() = 0;
  // Once the stop signals are caught, the request to suspend records itself;
  // this answers it, once. Where the system has no such request, none comes.
  virtual bool suspension_requested() = 0;
  // Stops the process, as the request would have, until it is resumed.
  virtual void suspend() = 0;

  // --- Stop signals: requests to end the program from outside it ---
  // (interrupt, termination, and where the system has them hang-up and quit)
  // hold_stop_signals keeps them, the request to suspend and the resumes off
  // the calling thread until catch_stop_signals; threads started meanwhile
  // inherit the hold, so that no timed wait is cut short. catch_stop_signals
  // makes them record their number instead of ending the process, and lifts
  // the hold on the calling thread. caught_stop_signal is the first one
  // recorded, or 0. end_by_signal ends the process as that signal ends it when
  // nothing catches it; should the process outlive that, it returns the
  // conventional exit status 128 + signal.
  virtual void hold_stop_signals() = 0;
  virtual void catch_stop_signals() = 0;
  virtual int caught_stop_signal() = 0;
  virtual int end_by_signal(int signal) = 0;

  // --- Terminal and console ---
  // Makes the console show UTF-8 output (emoji, "μs") as such.
  virtual void prepare_console() = 0;
  virtual bool input_is_terminal() = 0;
  virtual bool output_is_terminal() = 0;
  // The columns of the terminal on standard error, while this process is its
  // foreground job; nothing when standard error is no terminal or the
  // terminal belongs to another job.
  virtual std::optional<int> error_terminal_width() = 0;
  virtual TerminalState terminal_state() = 0;

  // --- System facts ---
  virtual SystemInfo system_info() = 0;
};

// The operating system's answers, for the program's whole life.
Platform& system_platform();

}  // namespace measure
