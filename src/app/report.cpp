#include "app/report.hpp"

#include <algorithm>
#include <chrono>
#include <exception>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>

#include <fmt/format.h>
#include <CLI/CLI.hpp>

#include "analysis/latency_summary.hpp"
#include "app/report_output.hpp"
#include "measure/sampling_engine.hpp"
#include "measure/wait_methods.hpp"

namespace app {
namespace {

using measure::SleepMode;

constexpr std::size_t kMaxSamples = 1'000'000;
constexpr std::uint32_t kMaxMicroseconds = 1'000'000;
constexpr std::chrono::milliseconds kProgressInterval{100};
// The options that take a value; each needs --report.
constexpr const char* kValueOptions[] = {"--method", "--samples", "--resolution", "--max-p99"};
constexpr const char* kFlags[] = {"--report", "--json"};

// A line for standard error about the command line.
struct UsageError {
  std::string line;
};

struct Request {
  std::vector<SleepMode> modes;
  std::size_t samples = 0;
  std::optional<std::uint32_t> resolution_us;
  std::optional<std::uint64_t> max_p99_us;
  bool json = false;
};

// "sleep, busywait or timer"
std::string method_options(const char* last_joint) {
  const auto methods = measure::wait_methods();
  std::string text;
  for (std::size_t i = 0; i < methods.size(); ++i) {
    text += i == 0 ? "" : i + 1 == methods.size() ? last_joint : ", ";
    text += methods[i].option;
  }
  return text;
}

std::vector<SleepMode> requested_modes(const std::vector<std::string>& names) {
  const auto methods = measure::wait_methods();
  std::vector<SleepMode> modes;
  if (names.empty()) {
    for (const measure::WaitMethod& method : methods) {
      modes.push_back(method.mode);
    }
    return modes;
  }
  // In the order given, each once; the names are the table's own by now.
  for (const std::string& name : names) {
    const auto method = std::find_if(methods.begin(), methods.end(), [&](const auto& m) { return name == m.option; });
    if (std::find(modes.begin(), modes.end(), method->mode) != modes.end()) {
      throw UsageError{
          fmt::format("--method accepts each of {} once; \"{}\" came twice", method_options(" and "), name)};
    }
    modes.push_back(method->mode);
  }
  return modes;
}

Request checked_request(const ReportOptions& options, const std::vector<std::string>& extras) {
  // A mistyped option must not pass unnoticed: in a CI gate, `--max-p9 50`
  // ignored would let every runner through. After "--" nothing is an option.
  const auto extra = std::find_if(extras.begin(), extras.end(), [](const std::string& e) { return e != "--"; });
  if (extra != extras.end()) {
    throw UsageError{fmt::format("unknown argument \"{}\" (--help lists the options of --report)", *extra)};
  }
  Request request;
  request.json = options.json;
  request.modes = requested_modes(options.methods);
  request.samples = options.samples;
  request.resolution_us = options.resolution_us;
  request.max_p99_us = options.max_p99_us;
  return request;
}

// "Measuring 1000 each: Sleep 12, BusyWait 12, HighPrecisionSleep 11; 0.2 s"
std::string progress_text(const std::vector<SleepMode>& modes, const std::vector<std::size_t>& counts,
                          std::size_t wanted, double seconds, bool short_names) {
  std::string text = fmt::format("Measuring {} each:", wanted);
  for (std::size_t i = 0; i < modes.size(); ++i) {
    const measure::WaitMethod* method = measure::find_method(modes[i]);
    text += fmt::format("{} {} {}", i == 0 ? "" : ",", short_names ? method->option : method->name, counts[i]);
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
ReportFacts measure_report(const Request& request, std::ostream& err, measure::Platform& platform) {
  ReportFacts facts;
  facts.system = platform.system_info();
  facts.counter_frequency = platform.counter_frequency();
  facts.timer_request_kept = platform.keep_timer_request_when_hidden();
  facts.samples_per_method = request.samples;
  facts.resolution = platform.query_timer_resolution();
  std::optional<std::uint32_t> accepted;
  if (request.resolution_us) {
    facts.requested_us = request.resolution_us;
    accepted = platform.request_timer_resolution(*request.resolution_us);
  }

  std::vector<measure::SamplerSetup> setups;
  for (const SleepMode mode : request.modes) {
    setups.push_back({mode, request.samples, measure::Retention::KeepFirst, std::chrono::microseconds{1000}});
  }
  std::mutex samples_mutex;
  measure::SamplingEngine engine(platform, samples_mutex, setups);
  const auto counts = [&] {
    const std::lock_guard lock(samples_mutex);
    std::vector<std::size_t> sizes;
    for (std::size_t i = 0; i < engine.sampler_count(); ++i) {
      sizes.push_back(engine.sampler(i).samples().size());
    }
    return sizes;
  };
  // The measuring thread is started holding the stop signals, so that only
  // this thread ever takes them.
  platform.hold_stop_signals();
  facts.process_priority = engine.start();
  platform.catch_stop_signals();
  {
    ProgressLine progress(err, platform.error_is_terminal(), request.modes, request.samples);
    const auto started = std::chrono::steady_clock::now();
    while (!engine.wait_for_end(kProgressInterval)) {
      if (platform.caught_stop_signal() != 0) {
        facts.interrupted = true;
        break;
      }
      if (platform.suspension_requested()) {
        platform.suspend();
      }
      progress.show(counts(), std::chrono::steady_clock::now() - started);
    }
    engine.stop();
    progress.finish(facts.interrupted);
  }

  facts.thread_priority = engine.thread_priority();
  if (accepted) {
    // What the measuring thread found in effect, or, stopped before its
    // first step, what the system says now.
    const auto in_effect =
        engine.resolution_in_effect() ? engine.resolution_in_effect() : platform.query_timer_resolution();
    facts.granted_us = in_effect ? in_effect->current_us : *accepted;
    // Withdrawn: the system keeps a request until the process ends otherwise.
    platform.release_timer_resolution(*request.resolution_us);
  }
  for (std::size_t i = 0; i < request.modes.size(); ++i) {
    facts.methods.push_back(
        {measure::sleep_mode_name(request.modes[i]), analysis::summarize(engine.sampler(i).samples())});
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
  CLI::Option* report =
      application.add_flag("--report", options.report, "Measure without the interface, print a report and exit");
  std::vector<std::string> names;
  for (const measure::WaitMethod& method : measure::wait_methods()) {
    names.emplace_back(method.option);
  }
  application
      .add_option("--method", options.methods,
                  fmt::format("{}, in the order given; repeatable (default: all)", method_options(" or ")))
      ->type_name("NAME")
      ->delimiter(',')
      // "--" after a method ends the options, rather than the list.
      ->allow_extra_args(false)
      ->transform(CLI::IsMember(names, CLI::ignore_case))
      ->needs(report);
  application.add_option("--samples", options.samples, "Samples per method (default 1000)")
      ->type_name("N")
      ->check(CLI::Range(std::size_t{1}, kMaxSamples))
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
      ->needs(report);
  application.add_flag("--json", options.json, "The report as JSON")->needs(report);
  application.add_option("--resolution", options.resolution_us, "Request this timer resolution in μs first")
      ->type_name("US")
      ->check(CLI::Range(std::uint32_t{0}, kMaxMicroseconds))
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
      ->needs(report);
  application.add_option("--max-p99", options.max_p99_us, "Exit with status 3 if a p99 is above US μs")
      ->type_name("US")
      ->check(CLI::Range(std::uint64_t{0}, std::uint64_t{kMaxMicroseconds}))
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
      ->needs(report);
}

std::optional<std::string> flag_given_a_value(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--") {
      break;
    }
    for (const std::string_view flag : kFlags) {
      if (arg.starts_with(flag) && arg.size() > flag.size() && arg[flag.size()] == '=') {
        return fmt::format("quorvane: {} takes no value", flag);
      }
    }
  }
  return std::nullopt;
}

bool is_report_error(const CLI::App& application, const CLI::Error& error) {
  // A missing value, or an option without --report: only the report's
  // options take values or need another.
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr ||
      dynamic_cast<const CLI::RequiresError*>(&error) != nullptr) {
    return true;
  }
  const auto given = [&](const char* name) { return application.get_option(name)->count() > 0; };
  return std::any_of(std::begin(kFlags), std::end(kFlags), given) ||
         std::any_of(std::begin(kValueOptions), std::end(kValueOptions), given);
}

std::optional<int> run_report_command(const ReportOptions& options, const std::vector<std::string>& extras,
                                      std::ostream& out, std::ostream& err, measure::Platform& platform) {
  if (!options.report) {
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
    const ReportFacts facts = measure_report(request, err, platform);
    return write_report(request, facts, out, err);
  } catch (const std::exception& e) {
    err << "quorvane: the report failed: " << e.what() << std::endl;
    return 1;
  }
}

}  // namespace app
