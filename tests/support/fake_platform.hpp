#pragma once

// Every platform interface's fake, together, as the program takes them.
#include "measure/platform.hpp"
#include "support/fake_console.hpp"
#include "support/fake_files.hpp"
#include "support/fake_placement.hpp"
#include "support/fake_process.hpp"
#include "support/fake_time_of_day.hpp"
#include "support/fake_trace.hpp"
#include "support/fake_waits.hpp"

namespace testing_support {

// What a report measures on: scripted waits, a process that catches a stop
// signal when told to, no terminal, files in memory, a clock that steps.
struct FakePlatform {
  FakeWaits waits;
  FakeProcess process;
  FakeConsole console;
  FakeFiles files;
  FakePlacement placement;
  FakeTimeOfDay time_of_day;
  FakeTrace trace;

  // The system's files in place of the fake: for a test of what reaches the
  // disk (a folder that is missing or goes, a directory in the way).
  bool real_files = false;

  measure::Platform platform() {
    measure::Files& written = real_files ? measure::system_files() : files;
    return {waits, process, console, written, placement, time_of_day, trace};
  }
};

}  // namespace testing_support
