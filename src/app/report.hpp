#pragma once

// The headless report: its options, the measuring run behind it and its
// output as a table or as JSON.
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "measure/platform.hpp"

namespace CLI {
class App;
class Error;
}  // namespace CLI

namespace app {

// The report's options as given.
struct ReportOptions {
  bool report = false;
  bool json = false;
  // "text", "json" or "openmetrics"; --json is "json".
  std::string format = "text";
  // An earlier --json report, and how far a p99 may rise beyond it.
  std::optional<std::string> compare;
  std::optional<std::uint64_t> max_regression_us;
  // Short names, as the method table has them.
  std::vector<std::string> methods;
  std::size_t samples = 1000;
  std::uint32_t interval_us = 1000;
  // Lists of resolutions ("500,1000"): measured at each in turn; none: at
  // whatever is in effect.
  std::vector<std::string> resolutions;
  std::optional<std::uint64_t> max_p99_us;
  std::optional<std::uint64_t> within_us;
};

// Declares --report and its options with what each accepts.
void add_report_options(CLI::App& application, ReportOptions& options);

// A value given to --report or --json (`--json=false`, `--report=`): the line
// for standard error. The library reads some of these as the flag itself.
std::optional<std::string> flag_given_a_value(int argc, const char* const* argv);

// Whether a command-line error belongs to the report: --report or one of its
// options was given, or the error is one only they can raise.
bool is_report_error(const CLI::App& application, const CLI::Error& error);

// Nothing when the command line asks for no report (the interface runs).
// Otherwise the exit status: 2 for an argument that is no option, methods
// named amiss or a baseline that cannot be compared with, with one line on
// `err` and nothing measured; else the report is
// measured on `platform` and written to `out`: 0, 1 when it could not be
// written, 3 when a p99 is above --max-p99 or rose beyond --max-regression.
std::optional<int> run_report_command(const ReportOptions& options, const std::vector<std::string>& extras,
                                      std::ostream& out, std::ostream& err, const measure::Platform& platform);

}  // namespace app
