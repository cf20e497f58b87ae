#pragma once

// The platform: the operating system's answers, one interface per concern.
#include "measure/console.hpp"
#include "measure/placement.hpp"
#include "measure/process.hpp"
#include "measure/waits.hpp"

namespace measure {

// For code that needs them all: the interface and the report.
struct Platform {
  Waits& waits;
  Process& process;
  Console& console;
  Placement& placement;
};

// The operating system's.
inline Platform system_platform() { return {system_waits(), system_process(), system_console(), system_placement()}; }

}  // namespace measure
