#pragma once

#include <functional>
#include <iosfwd>

namespace app {

struct ReportSystem;

// The program entry: parses the command line, answers help and version
// requests, runs a report (on `report_system`, or the operating system's when
// null), or sets up the "main" logger and calls `run_interface`, which
// constructs, runs and destroys the interface. Returns the exit status.
int run_entry(int argc, char** argv, std::ostream& out, std::ostream& err, const std::function<void()>& run_interface,
              const ReportSystem* report_system = nullptr);

}  // namespace app
