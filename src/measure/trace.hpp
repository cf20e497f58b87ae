#pragma once

// The system's trace: a line written into it marks a moment, so that a trace
// taken meanwhile (trace-cmd, perf) shows what ran then. One file per OS
// answers (trace_<os>.cpp); tests substitute a fake.
#include <string_view>

namespace measure {

class Trace {
 public:
  virtual ~Trace() = default;

  // Makes ready to mark; false where the system has no trace this program
  // may write (Linux: the tracing directory missing or not writable).
  virtual bool open_marker() = 0;
  // Writes `line` into the trace, once open: whether it was written (the
  // kernel refuses marks while its tracing is off).
  virtual bool mark(std::string_view line) = 0;
};

// The operating system's, for the program's whole life.
Trace& system_trace();

}  // namespace measure
