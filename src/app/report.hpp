#pragma once

// The headless report: its options, the measuring run behind it and its
// output as a table or as JSON.
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "measure/platform.hpp"

namespace CLI {
class App;
}

namespace app {

// The report's options as given; checked by run_report_command.
struct ReportOptions {
  bool report = false;
  bool json = false;
  std::vector<std::string> methods;
  std::optional<std::string> samples;
  std::optional<std::string> resolution;
  std::optional<std::string> max_p99;
};

// Declares --report, --method, --samples, --json, --resolution and --max-p99.
void add_report_options(CLI::App& application, ReportOptions& options);

// For a command-line error the library reports about one of the report's
// flags (a value given to --report or --json): the line to write instead of
// the help text, with exit status 2.
std::optional<std::string> report_flag_error(const std::string& library_message);

// What the report takes from the system; tests substitute their own.
struct ReportSystem {
  measure::Platform& platform;
  std::function<measure::SystemInfo()> system_info = [] { return measure::SystemInfo{}; };
  measure::TimerRequestKept timer_request_kept = measure::TimerRequestKept::NotApplicable;
  bool error_is_terminal = false;
  // Keep the stop signals off the measuring thread (called before it starts),
  // then record them here (after); the first one recorded, or 0.
  std::function<void()> hold_stop_signals = [] {};
  std::function<void()> catch_stop_signals = [] {};
  std::function<int()> caught_stop_signal = [] { return 0; };
  // Ctrl+Z, once the signals are caught: stops the process here if asked to,
  // until it is resumed.
  std::function<void()> suspend_if_asked = [] {};
};

// The operating system's answers.
ReportSystem real_report_system();

// The report's part of a command: nothing when the command line asks for no
// report and names none of its options (the interface runs). Otherwise the
// exit status: 2 for a bad option, an unknown argument (`extras`) or an
// option without --report, with one line on `err` and nothing measured; else
// the report is measured and written to `out`: 0, 1 when it could not be
// written, 3 when a p99 is above --max-p99.
std::optional<int> run_report_command(const ReportOptions& options, const std::vector<std::string>& extras,
                                      std::ostream& out, std::ostream& err, const ReportSystem& system);

}  // namespace app
