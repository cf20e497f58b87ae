#pragma once

// The report's command line: what each option accepts, every value read once,
// strictly, into what the run uses.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "measure/conditions.hpp"
#include "measure/wait_methods.hpp"

namespace CLI {
class App;
class Error;
}  // namespace CLI

namespace report {

enum class Format { Text, Json, OpenMetrics, Html };

// The longest interval and resolution the options take, in μs, and the
// largest figure a report holds: a figure's changes are worked out in signed
// 64 bits, which figures up to it can never overflow.
inline constexpr std::uint64_t kMaxMicroseconds = 1'000'000;
inline constexpr std::uint64_t kMaxFigure = std::numeric_limits<std::int64_t>::max();

// The report's options as read. Lists are in the order given, each item once.
struct ReportOptions {
  bool report = false;
  bool json = false;  // --json, the same as --format json
  Format format = Format::Text;
  // An earlier --json report, and how far a p99 may rise beyond it.
  std::optional<std::string> compare;
  std::optional<std::uint64_t> max_regression_us;
  // None: the interface's three.
  std::vector<measure::SleepMode> modes;
  std::size_t samples = 1000;
  std::uint32_t interval_us = 1000;
  // Measured at each in turn; none: at whatever is in effect.
  std::vector<std::uint32_t> resolutions_us;
  std::optional<std::uint64_t> max_p99_us;
  std::optional<std::uint64_t> within_us;
  // --duration: each method measured for this long at each resolution,
  // rather than --samples of it, the conditions taking turns in it;
  // --window: the timeline's windows.
  std::optional<std::chrono::seconds> duration;
  std::optional<std::chrono::seconds> window;
  // --spike: waits longer than the interval by more than this are logged.
  std::optional<std::uint64_t> spike_us;
  // The conditions, each measured in turn; none: raised, no load, any CPU.
  std::vector<measure::Priority> priorities;
  std::vector<std::uint32_t> loads;
  std::vector<std::uint32_t> cpus;
  bool all_cpus = false;  // --cpu all: every CPU the process may use
  // --html: the report's page, written to this file as well.
  std::optional<std::string> html;
  // --plot: saved --json reports, drawn without measuring into a page.
  std::vector<std::string> plot;
  // -o (--output): with --report the report goes to this file, written
  // whole, not to standard output; with --plot, the page.
  std::optional<std::string> output;
};

// Declares --report and its options, and --plot with -o, with what each
// accepts. The screen takes --method, --interval, --priority, --load and
// --cpu too; the others need --report.
void add_report_options(CLI::App& application, ReportOptions& options);

// What the screen cannot take of options it shares with the report: more
// than one priority, load or CPU. The line for standard error, or nothing.
std::optional<std::string> screen_refuses(const ReportOptions& options);

// A value given to --report or --json (`--json=false`, `--report=`): the line
// for standard error. The library reads some of these as the flag itself.
std::optional<std::string> flag_given_a_value(int argc, const char* const* argv);

// Whether a command-line error belongs to the report or --plot: one of their
// options was given, or the error is one only they can raise.
bool is_report_error(const CLI::App& application, const CLI::Error& error);

// `text` as a whole number from `lowest` to `highest`, written in decimal
// digits and nothing else: no sign, base prefix, separator, exponent or space,
// so that "010" is ten and "0x10" is nothing; nothing for anything else.
std::optional<std::uint64_t> decimal(std::string_view text, std::uint64_t lowest, std::uint64_t highest);

}  // namespace report
