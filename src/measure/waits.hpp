#pragma once

// The waits: what measuring asks of the operating system. One file per OS
// answers (waits_<os>.cpp); tests substitute a scripted fake.
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

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

// The timer resolution in whole microseconds: the coarsest and finest the
// system supports and the one in effect. What it is differs by system:
// - Windows: the system timer tick, which Sleep(1) and the plain timer wait
//   for; the program's request holds for the whole system until it is
//   withdrawn or the program ends.
// - Linux: the timer slack of the thread that waits (the kernel may end its
//   sleeps and timers that much late, to batch wake-ups), bounded by the
//   clock's granularity and the kernel tick. A real-time thread has none: 0,
//   whatever is asked.
struct TimerResolution {
  std::uint32_t coarsest_us = 0;
  std::uint32_t finest_us = 0;
  std::uint32_t current_us = 0;
  bool operator==(const TimerResolution&) const = default;
};

// Whether the system keeps this process's timer-resolution request while its
// window is hidden or minimised (Windows 11 sets it aside unless asked not to).
enum class TimerRequestKept { Accepted, Refused, NotApplicable };

class Waits {
 public:
  virtual ~Waits() = default;

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
  // The process's: Windows' priority class, the whole process's; Linux has
  // none, and raises the calling thread's nice value (threads it creates
  // afterwards inherit it).
  virtual bool raise_process_priority() = 0;
  // Takes back what raise_process_priority asked of the calling thread, so
  // that what the process runs afterwards runs as it started.
  virtual void restore_process_priority() = 0;
  // The calling thread's, the highest there is; it ends with the thread.
  virtual bool raise_thread_priority() = 0;

  // --- Timer resolution (see TimerResolution for what it is) ---
  // Nothing when the system will not say.
  virtual std::optional<TimerResolution> query_timer_resolution() = 0;
  // Asks for `us`: the resolution the request puts in effect, or nothing
  // when refused. On Linux the thread that waits takes it when it is next
  // ready to wait, bounded by the range, and a real-time one stays at 0.
  virtual std::optional<std::uint32_t> request_timer_resolution(std::uint32_t us) = 0;
  // Withdraws an earlier request for `us`.
  virtual void release_timer_resolution(std::uint32_t us) = 0;
  // Asks that the request hold while the program is hidden; asked once,
  // later calls give the first answer.
  virtual TimerRequestKept keep_timer_request_when_hidden() = 0;

  // --- Waits across a suspension (Ctrl+Z, SIGSTOP then SIGCONT) ---
  // How many times the process has been resumed after a suspension. A wait
  // during which it changed lasted the suspension, not the wait. Up to date on
  // the thread that counts the resumes before that thread runs on. Windows
  // suspends no console program: always 0 there.
  virtual std::uint64_t resume_count() = 0;
  // Makes the calling thread the one that measures: the one that counts the
  // resumes, and on Linux the one whose timer slack is the resolution in
  // effect, taken and read back before its first wait.
  virtual void measure_on_this_thread() = 0;
  // Puts in place on the calling thread what has been asked for its waits
  // since (on Linux the timer slack a request wants). The sampler calls it
  // before each wait's first timestamp, so that none of it is timed.
  virtual void ready_to_wait() = 0;
};

// The operating system's waits, for the program's whole life.
Waits& system_waits();

}  // namespace measure
