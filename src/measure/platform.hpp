#pragma once

// The platform: the operating system's answers, one interface per concern.
#include "measure/console.hpp"
#include "measure/files.hpp"
#include "measure/placement.hpp"
#include "measure/process.hpp"
#include "measure/time_of_day.hpp"
#include "measure/trace.hpp"
#include "measure/waits.hpp"

namespace measure {

// For code that needs them all: the interface and the report.
struct Platform {
  Waits& waits;
  Process& process;
  Console& console;
  Files& files;
  Placement& placement;
  TimeOfDay& time_of_day;
  Trace& trace;
};

// The operating system's.
inline Platform system_platform() {
  return {system_waits(),     system_process(),     system_console(), system_files(),
          system_placement(), system_time_of_day(), system_trace()};
}

}  // namespace measure
