#include "app/report.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <exception>
#include <ostream>
#include <string>

#include <fmt/format.h>
#include <CLI/CLI.hpp>

#include "analysis/latency_summary.hpp"
#include "app/report_output.hpp"
#include "measure/interleaved_run.hpp"
#include "measure/sleep_sampler.hpp"
#include "measure/timer_resolution.hpp"

namespace app {
namespace {

using measure::SleepMode;

constexpr std::uint64_t kMaxSamples = 1'000'000;
constexpr std::uint64_t kMaxMicroseconds = 1'000'000;
constexpr std::chrono::milliseconds kProgressInterval{100};
// The names --method takes, by SleepMode.
constexpr const char* kMethodNames[] = {"sleep", "busywait", "timer"};

// A line for standard error about the command line.
struct UsageError {
  std::string line;
};

struct Request {
  std::vector<SleepMode> modes;
  std::size_t samples = 1000;
  std::optional<std::uint32_t> resolution_us;
  std::optional<std::uint64_t> max_p99_us;
  bool json = false;
};

// Decimal digits alone, from `lo` to `hi`: a sign, a space or a fraction is malformed.
std::optional<std::uint64_t> whole_number(const std::string& text, std::uint64_t lo, std::uint64_t hi) {
  std::uint64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc{} || stop != end || value < lo || value > hi) {
    return std::nullopt;
  }
  return value;
}

std::uint64_t checked_number(const std::optional<std::string>& text, const char* option, std::uint64_t lo,
                             std::uint64_t hi, const char* unit, std::uint64_t otherwise) {
  if (!text) {
    return otherwise;
  }
  if (const auto value = whole_number(*text, lo, hi)) {
    return *value;
  }
  throw UsageError{fmt::format("{} accepts a whole number{} from {} to {}, not \"{}\"", option, unit, lo, hi, *text)};
}

std::vector<SleepMode> checked_methods(const std::vector<std::string>& names) {
  if (names.empty()) {
    return {SleepMode::Sleep, SleepMode::BusyWait, SleepMode::HighPrecisionSleep};
  }
  std::vector<SleepMode> modes;
  for (const std::string& name : names) {
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const auto* known = std::find(std::begin(kMethodNames), std::end(kMethodNames), lower);
    if (known == std::end(kMethodNames)) {
      throw UsageError{fmt::format("--method accepts sleep, busywait or timer, not \"{}\"", name)};
    }
    const auto mode = static_cast<SleepMode>(known - std::begin(kMethodNames));
    if (std::find(modes.begin(), modes.end(), mode) != modes.end()) {
      throw UsageError{fmt::format("--method accepts each of sleep, busywait and timer once; \"{}\" came twice", name)};
    }
    modes.push_back(mode);
  }
  return modes;
}

Request checked_request(const ReportOptions& options, const std::vector<std::string>& extras) {
  const std::pair<bool, const char*> kNeedReport[] = {{options.json, "--json"},
                                                      {!options.methods.empty(), "--method"},
                                                      {options.samples.has_value(), "--samples"},
                                                      {options.resolution.has_value(), "--resolution"},
                                                      {options.max_p99.has_value(), "--max-p99"}};
  for (const auto& [given, option] : kNeedReport) {
    if (given && !options.report) {
      throw UsageError{fmt::format("{} works only with --report", option)};
    }
  }
  // A mistyped option must not pass unnoticed: in a CI gate, `--max-p9 50`
  // ignored would let every runner through.
  if (!extras.empty()) {
    throw UsageError{fmt::format("unknown argument \"{}\" (--help lists the options of --report)", extras.front())};
  }
  Request request;
  request.json = options.json;
  request.modes = checked_methods(options.methods);
  request.samples = checked_number(options.samples, "--samples", 1, kMaxSamples, "", request.samples);
  if (options.resolution) {
    request.resolution_us = static_cast<std::uint32_t>(
        checked_number(options.resolution, "--resolution", 0, kMaxMicroseconds, " of microseconds", 0));
  }
  if (options.max_p99) {
    request.max_p99_us = checked_number(options.max_p99, "--max-p99", 0, kMaxMicroseconds, " of microseconds", 0);
  }
  return request;
}

// "Measuring 1000 each: Sleep 12, BusyWait 12, HighPrecisionSleep 11; 0.2 s"
std::string progress_text(const std::vector<SleepMode>& modes, const std::vector<std::size_t>& counts,
                          std::size_t wanted, double seconds, bool short_names) {
  std::string text = fmt::format("Measuring {} each:", wanted);
  for (std::size_t i = 0; i < modes.size(); ++i) {
    const char* name =
        short_names ? kMethodNames[static_cast<std::size_t>(modes[i])] : measure::sleep_mode_name(modes[i]);
    text += fmt::format("{} {} {}", i == 0 ? "" : ",", name, counts[i]);
  }
  return text + fmt::format("; {:.1f} s", seconds);
}

// One line on a terminal, redrawn in place: carriage return, the text, spaces
// over the rest of the last one. Cleared when done; after an interrupt it
// stays, ended, so that the terminal's echo of the key stays beside it.
class ProgressLine {
 public:
  ProgressLine(std::ostream& err, bool shown, const std::vector<SleepMode>& modes, std::size_t wanted)
      : err_(err), shown_(shown), modes_(modes), wanted_(wanted) {
    // Within 79 columns, or the terminal would wrap it and the carriage
    // return redraw only its last row: the short names where the longest
    // line (every count full, some 25 ms a step) would not fit, then cut.
    const std::vector<std::size_t> full(modes.size(), wanted);
    const double longest = 0.025 * static_cast<double>(wanted * modes.size());
    short_names_ = progress_text(modes, full, wanted, longest, false).size() > kWidth;
  }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  void show(const std::vector<std::size_t>& counts, std::chrono::steady_clock::duration elapsed) {
    const double seconds = std::chrono::duration<double>(elapsed).count();
    draw(progress_text(modes_, counts, wanted_, seconds, short_names_).substr(0, kWidth));
  }
  void finish(bool interrupted) {
    if (!shown_ || width_ == 0) {
      return;
    }
    if (interrupted) {
      err_ << std::endl;
    } else {
      draw("");
      err_ << '\r' << std::flush;
    }
  }

 private:
  static constexpr std::size_t kWidth = 79;

  void draw(const std::string& text) {
    if (!shown_) {
      return;
    }
    err_ << '\r' << text << std::string(width_ > text.size() ? width_ - text.size() : 0, ' ') << std::flush;
    width_ = text.size();
  }

  std::ostream& err_;
  const bool shown_;
  const std::vector<SleepMode>& modes_;
  const std::size_t wanted_;
  bool short_names_ = false;
  std::size_t width_ = 0;
};

// Measures as the request says and gathers what the report tells.
ReportFacts measure_report(const Request& request, std::ostream& err, const ReportSystem& system) {
  measure::Platform& platform = system.platform;
  ReportFacts facts;
  facts.system = system.system_info();
  facts.counter_frequency = platform.query_performance_frequency();
  facts.timer_request_kept = system.timer_request_kept;
  facts.samples_per_method = request.samples;
  facts.resolution = measure::read_timer_resolution(platform);
  std::optional<std::uint32_t> accepted;
  if (request.resolution_us) {
    facts.requested_us = request.resolution_us;
    accepted = measure::request_timer_resolution(platform, *request.resolution_us);
  }

  measure::InterleavedRun run(platform, request.modes, request.samples);
  system.hold_stop_signals();
  facts.process_priority = run.start();
  system.catch_stop_signals();
  {
    ProgressLine progress(err, system.error_is_terminal, request.modes, request.samples);
    const auto started = std::chrono::steady_clock::now();
    while (!run.wait_for(kProgressInterval)) {
      if (system.caught_stop_signal() != 0) {
        facts.interrupted = true;
        break;
      }
      system.suspend_if_asked();
      progress.show(run.counts(), std::chrono::steady_clock::now() - started);
    }
    run.stop();
    progress.finish(facts.interrupted);
  }

  const measure::InterleavedRun::Outcome outcome = run.outcome();
  facts.thread_priority = outcome.thread_priority;
  if (accepted) {
    // What the measuring thread found in effect, or, stopped before its
    // first step, what the system says now.
    const auto in_effect = outcome.resolution ? outcome.resolution : measure::read_timer_resolution(platform);
    facts.granted_us = in_effect ? in_effect->current_us : *accepted;
    // Withdrawn: the system keeps a request until the process ends otherwise.
    std::uint32_t actual = 0;
    platform.nt_set_timer_resolution(measure::microseconds_to_units(*request.resolution_us), false, actual);
  }
  for (std::size_t i = 0; i < request.modes.size(); ++i) {
    facts.methods.push_back({measure::sleep_mode_name(request.modes[i]), analysis::summarize(outcome.samples[i])});
  }
  return facts;
}

int write_report(const Request& request, const ReportFacts& facts, std::ostream& out, std::ostream& err) {
  if (request.json) {
    out << json_report(facts);
  } else {
    write_text_report(facts, out);
  }
  out.flush();
  if (!out) {
    err << "quorvane: the report could not be written to standard output" << std::endl;
    return 1;
  }
  int status = 0;
  for (const MethodReport& method : facts.methods) {
    if (request.max_p99_us && method.summary.count > 0 && method.summary.p99 > *request.max_p99_us) {
      err << fmt::format("quorvane: {} p99 {} μs is above --max-p99 {} μs", method.name, method.summary.p99,
                         *request.max_p99_us)
          << std::endl;
      status = 3;
    }
  }
  return status;
}

}  // namespace

void add_report_options(CLI::App& application, ReportOptions& options) {
  // The values are checked afterwards, so that every bad one gets the same
  // kind of message and status; a missing value counts as a bad one.
  auto one_value = [&](const char* name, const char* type, std::optional<std::string>& value, const char* help) {
    application
        .add_option_function<std::string>(
            name, [&value](const std::string& text) { value = text; }, help)
        ->type_name(type)
        ->expected(0, 1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  };
  application.add_flag("--report", options.report, "Measure without the interface, print a report and exit");
  application
      .add_option("--method", options.methods,
                  "With --report: sleep, busywait or timer, in the order given; repeatable (default: all three)")
      ->type_name("NAME")
      ->delimiter(',')
      ->expected(0, 1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  one_value("--samples", "N", options.samples, "With --report: samples per method, 1 to 1000000 (default 1000)");
  application.add_flag("--json", options.json, "With --report: the report as JSON");
  one_value("--resolution", "US", options.resolution, "With --report: request this timer resolution in μs first");
  one_value("--max-p99", "US", options.max_p99, "With --report: exit with status 3 if a p99 is above US μs");
}

std::optional<std::string> report_flag_error(const std::string& library_message) {
  for (const char* flag : {"--report", "--json"}) {
    if (library_message.find(flag) != std::string::npos) {
      return fmt::format("quorvane: {} takes no value", flag);
    }
  }
  return std::nullopt;
}

ReportSystem real_report_system() {
  ReportSystem system{measure::system_platform()};
  system.system_info = measure::system_info;
  system.timer_request_kept = measure::keep_timer_request_when_hidden();
  system.error_is_terminal = measure::error_is_terminal();
  system.hold_stop_signals = measure::hold_stop_signals;
  system.catch_stop_signals = measure::catch_stop_signals;
  system.caught_stop_signal = measure::caught_stop_signal;
  system.suspend_if_asked = [] {
    if (measure::suspension_requested()) {
      measure::suspend();
    }
  };
  return system;
}

std::optional<int> run_report_command(const ReportOptions& options, const std::vector<std::string>& extras,
                                      std::ostream& out, std::ostream& err, const ReportSystem& system) {
  const bool any_report_option =
      options.json || !options.methods.empty() || options.samples || options.resolution || options.max_p99;
  if (!options.report && !any_report_option) {
    return std::nullopt;
  }
  Request request;
  try {
    request = checked_request(options, extras);
  } catch (const UsageError& e) {
    err << "quorvane: " << e.line << std::endl;
    return 2;
  }
  try {
    const ReportFacts facts = measure_report(request, err, system);
    return write_report(request, facts, out, err);
  } catch (const std::exception& e) {
    err << "quorvane: the report failed: " << e.what() << std::endl;
    return 1;
  }
}

}  // namespace app
