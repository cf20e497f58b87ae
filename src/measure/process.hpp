#pragma once

// The process: requests from outside to end or suspend it, and what the
// system it runs on says about itself. One file per OS answers
// (process_<os>.cpp); tests substitute a scripted fake.
#include <string>

namespace measure {

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

class Process {
 public:
  virtual ~Process() = default;

  // --- Stop signals: requests to end the program from outside it ---
  // (interrupt, termination, and where the system has them hang-up and quit)
  // hold_stop_signals keeps them, the request to suspend and the resumes off
  // the calling thread until catch_stop_signals; threads started meanwhile
  // inherit the hold, so that no timed wait is cut short: start the measuring
  // thread under it. catch_stop_signals makes them record their number
  // instead of ending the process, and lifts the hold on the calling thread.
  // caught_stop_signal is the first one recorded, or 0. end_by_signal ends the
  // process as that signal ends it when nothing catches it; should the process
  // outlive that, it returns the conventional exit status 128 + signal.
  virtual void hold_stop_signals() = 0;
  virtual void catch_stop_signals() = 0;
  virtual int caught_stop_signal() = 0;
  virtual int end_by_signal(int signal) = 0;

  // --- Suspension (Ctrl+Z) ---
  // Once the stop signals are caught, the request to suspend records itself;
  // this answers it, once. Where the system has no such request, none comes.
  virtual bool suspension_requested() = 0;
  // Stops the process, as the request would have, until it is resumed.
  virtual void suspend() = 0;

  // --- The system it runs on ---
  virtual SystemInfo system_info() = 0;
};

// The operating system's process, for the program's whole life.
Process& system_process();

}  // namespace measure
