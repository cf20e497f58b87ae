#pragma once

#include <cstdint>
#include <string>

namespace measure {

// A one-shot waitable timer; null when it could not be created.
using TimerHandle = void*;

// Status of the two timer-resolution services: 0 is success.
using NtStatus = std::int32_t;
inline constexpr NtStatus kStatusSuccess = 0;

// The operating-system services the measurement engine and the interface use,
// named after the Windows calls they stand for. Each operating system has one
// implementation file; tests substitute a scripted fake.
class Platform {
 public:
  Platform() = default;
  Platform(const Platform&) = delete;
  Platform& operator=(const Platform&) = delete;
  virtual ~Platform() = default;

  // High-resolution counter: counts per second, and the current count.
  virtual std::int64_t query_performance_frequency() = 0;
  virtual std::int64_t query_performance_counter() = 0;

  // Suspends the calling thread for at least `milliseconds`.
  virtual void sleep(std::uint32_t milliseconds) = 0;

  // One-shot timer: created unarmed; armed with a due time in 100 ns units
  // (negative: relative to now); waited on until it fires; closed.
  // set_waitable_timer returns false when the timer could not be armed.
  virtual TimerHandle create_waitable_timer() = 0;
  virtual bool set_waitable_timer(TimerHandle timer, std::int64_t due_time_100ns) = 0;
  virtual void wait_for_single_object(TimerHandle timer) = 0;
  virtual void close_handle(TimerHandle timer) = 0;

  // Priority requests; the results tell whether the system granted them.
  virtual bool set_priority_class_realtime() = 0;
  virtual bool set_thread_priority_time_critical() = 0;

  // System timer resolution in 100 ns units: the coarsest and finest intervals
  // supported and the one in effect; a request reports the interval in effect.
  virtual NtStatus nt_query_timer_resolution(std::uint32_t& coarsest, std::uint32_t& finest,
                                             std::uint32_t& current) = 0;
  virtual NtStatus nt_set_timer_resolution(std::uint32_t desired, bool set, std::uint32_t& actual) = 0;

  // How many times the process has been resumed after a suspension (Ctrl+Z
  // then fg, SIGSTOP then SIGCONT). A wait during which it changed lasted the
  // suspension, not the wait. Up to date on the thread that counts the resumes
  // (count_resumes_here) before that thread runs on; without suspensions it
  // never changes.
  virtual std::uint64_t resume_count() = 0;
};

// The implementation for the operating system this program was built for.
Platform& system_platform();

// Makes the console show UTF-8 output (emoji, "μs") as such.
void prepare_console();

// Whether standard input, or standard output, is an interactive terminal.
bool input_is_terminal();
bool output_is_terminal();
bool error_is_terminal();

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
SystemInfo system_info();

// Asks the system to honour this process's timer-resolution request even
// while its window is hidden or minimised (Windows 11 sets it aside then).
// Asked once; later calls give the first answer.
enum class TimerRequestKept { Accepted, Refused, NotApplicable };
TimerRequestKept keep_timer_request_when_hidden();

// What has become of the terminal the program runs in: still its own; taken by
// the shell for another job (the program was resumed in the background); or
// gone (hung up or closed: its input at an end or failing).
enum class TerminalState { Own, Background, Gone };
TerminalState terminal_state();

// Stop signals: the requests to end the program that come from outside it
// (interrupt, termination, and where the system has them hang-up and quit).
//
// hold_stop_signals keeps them, the request to suspend and the resumes from
// being handled on the calling thread until catch_stop_signals (the resumes:
// for good, see count_resumes_here); threads started meanwhile inherit the
// hold, so only the interface thread ever handles them and a timed wait is
// never cut short. catch_stop_signals makes them record their number instead
// of ending the process, and lifts the hold on the calling thread. Once one is
// recorded the program is ending, and nothing it then does with the terminal
// stops it, even from the background (a suspended job killed from its shell).
// caught_stop_signal is the first one recorded, or 0. end_by_signal ends the
// process as that signal ends it when nothing catches it; should the process
// outlive that, it returns the conventional exit status 128 + signal.
void hold_stop_signals();
void catch_stop_signals();
int caught_stop_signal();
int end_by_signal(int signal);

// Suspension (Ctrl+Z). catch_stop_signals also makes the request to suspend
// record itself instead of stopping the process under the screen;
// suspension_requested answers it, once. suspend stops the process, as the
// request would have, until it is resumed. Where the system has no such
// request, none ever comes.
bool suspension_requested();
void suspend();

// Makes the calling thread, the one that measures, count the resumes: it has
// counted a resume before it runs on after it. Every other thread holds them
// off (hold_stop_signals), or the count could lag a resume by a moment.
void count_resumes_here();

}  // namespace measure
