#include "app/report.hpp"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <exception>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>

#include <fmt/format.h>
#include <CLI/CLI.hpp>

#include "analysis/latency_summary.hpp"
#include "app/report_compare.hpp"
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
constexpr const char* kValueOptions[] = {"--method", "--samples", "--interval", "--resolution",    "--max-p99",
                                         "--within", "--format",  "--compare",  "--max-regression"};
// What --method takes for every method.
constexpr const char* kAllMethods = "all";
constexpr const char* kFlags[] = {"--report", "--json"};

// A line for standard error about the command line.
struct UsageError {
  std::string line;
};

enum class Format { Text, Json, OpenMetrics };

struct Request {
  Format format = Format::Text;
  std::optional<Baseline> baseline;
  std::optional<std::uint64_t> max_regression_us;
  std::vector<SleepMode> modes;
  std::size_t samples = 0;
  std::uint32_t interval_us = 0;
  // One block of measuring each; nothing: at the resolution in effect.
  std::vector<std::optional<std::uint32_t>> resolutions_us;
  std::optional<std::uint64_t> max_p99_us;
  std::optional<std::uint64_t> within_us;
};

// "sleep, busywait, timer, hrtimer or hybrid"
std::string method_options() {
  const auto methods = measure::wait_methods();
  std::string text;
  for (std::size_t i = 0; i < methods.size(); ++i) {
    text += i == 0 ? "" : i + 1 == methods.size() ? " or " : ", ";
    text += methods[i].option;
  }
  return text;
}

// "500,1000,15625": whole microseconds within range, separated by commas;
// nothing for anything else (an empty item, a sign, a space).
std::optional<std::vector<std::uint32_t>> resolution_list(const std::string& text) {
  std::vector<std::uint32_t> values;
  std::size_t begin = 0;
  while (true) {
    const std::size_t end = std::min(text.find(',', begin), text.size());
    std::uint32_t value = 0;
    const auto [stop, error] = std::from_chars(text.data() + begin, text.data() + end, value);
    if (error != std::errc{} || stop != text.data() + end || value > kMaxMicroseconds) {
      return std::nullopt;
    }
    values.push_back(value);
    if (end == text.size()) {
      return values;
    }
    begin = end + 1;
  }
}

std::vector<SleepMode> modes_of(std::span<const measure::WaitMethod> methods) {
  std::vector<SleepMode> modes;
  for (const measure::WaitMethod& method : methods) {
    modes.push_back(method.mode);
  }
  return modes;
}

std::vector<SleepMode> requested_modes(const std::vector<std::string>& names) {
  if (names.empty()) {
    return modes_of(measure::interface_methods());
  }
  if (std::find(names.begin(), names.end(), kAllMethods) != names.end()) {
    if (names.size() > 1) {
      throw UsageError{"--method all names every method and goes alone"};
    }
    return modes_of(measure::wait_methods());
  }
  // In the order given, each once; the names are the table's own by now.
  const auto methods = measure::wait_methods();
  std::vector<SleepMode> modes;
  for (const std::string& name : names) {
    const auto method = std::find_if(methods.begin(), methods.end(), [&](const auto& m) { return name == m.option; });
    if (std::find(modes.begin(), modes.end(), method->mode) != modes.end()) {
      throw UsageError{fmt::format("--method names each method once; \"{}\" came twice", name)};
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
  request.format = options.json || options.format == "json" ? Format::Json
                   : options.format == "openmetrics"        ? Format::OpenMetrics
                                                            : Format::Text;
  if (options.compare) {
    auto baseline = read_baseline(*options.compare);
    if (const auto* line = std::get_if<std::string>(&baseline)) {
      throw UsageError{*line};
    }
    request.baseline = std::get<Baseline>(std::move(baseline));
  }
  request.max_regression_us = options.max_regression_us;
  request.modes = requested_modes(options.methods);
  request.samples = options.samples;
  request.interval_us = options.interval_us;
  for (const std::string& list : options.resolutions) {
    for (const std::uint32_t us : resolution_list(list).value_or(std::vector<std::uint32_t>{})) {
      request.resolutions_us.emplace_back(us);
    }
  }
  if (request.resolutions_us.empty()) {
    request.resolutions_us.emplace_back();
  }
  request.max_p99_us = options.max_p99_us;
  request.within_us = options.within_us;
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

// One line on standard error's terminal, redrawn in place: carriage return,
// the text, spaces over the rest of the last one. Cut to the terminal's
// width, or the terminal would wrap it and the carriage return redraw only
// its last row; not drawn while the terminal belongs to another job. Cleared
// when done; after an interrupt it stays, ended, so that the terminal's echo
// of the key stays beside it.
class ProgressLine {
 public:
  ProgressLine(std::ostream& err, measure::Console& console, const std::vector<SleepMode>& modes, std::size_t wanted)
      : err_(err), console_(console), modes_(modes), wanted_(wanted) {}
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  void show(const std::string& prefix, const std::vector<std::size_t>& counts,
            std::chrono::steady_clock::duration elapsed) {
    const auto width = console_.error_terminal_width();
    if (!width) {
      return;
    }
    // The last column left free: writing into it makes some terminals wrap.
    const auto room = static_cast<std::size_t>(std::max(*width - 1, 0));
    if (room != room_) {
      // The short names where the longest line (every count full, some 25 ms
      // a step) would not fit, so that they do not change as the counts grow.
      const std::vector<std::size_t> full(modes_.size(), wanted_);
      const double longest = 0.025 * static_cast<double>(wanted_ * modes_.size());
      room_ = room;
      short_names_ = prefix.size() + progress_text(modes_, full, wanted_, longest, false).size() > room;
    }
    const double seconds = std::chrono::duration<double>(elapsed).count();
    draw((prefix + progress_text(modes_, counts, wanted_, seconds, short_names_)).substr(0, room));
  }
  void finish(bool interrupted) {
    if (width_ == 0) {
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
  void draw(const std::string& text) {
    err_ << '\r' << text << std::string(width_ > text.size() ? width_ - text.size() : 0, ' ') << std::flush;
    width_ = text.size();
  }

  std::ostream& err_;
  measure::Console& console_;
  const std::vector<SleepMode>& modes_;
  const std::size_t wanted_;
  std::size_t room_ = 0;
  bool short_names_ = false;
  std::size_t width_ = 0;
};

// Measures every method at the block's resolution; true when a stop signal
// cut it short.
bool measure_block(const Request& request, ReportFacts& facts, ResolutionBlock& block, ProgressLine& progress,
                   const measure::Platform& platform) {
  std::optional<std::uint32_t> accepted;
  if (block.requested_us) {
    accepted = platform.waits.request_timer_resolution(*block.requested_us);
  }
  std::vector<measure::SamplerSetup> setups;
  for (const SleepMode mode : request.modes) {
    setups.push_back(
        {mode, request.samples, measure::Retention::KeepFirst, std::chrono::microseconds{request.interval_us}, true});
  }
  std::mutex samples_mutex;
  measure::SamplingEngine engine(platform.waits, samples_mutex, setups);
  const auto counts = [&] {
    const std::lock_guard lock(samples_mutex);
    std::vector<std::size_t> sizes;
    for (std::size_t i = 0; i < engine.sampler_count(); ++i) {
      sizes.push_back(engine.sampler(i).samples().size());
    }
    return sizes;
  };
  const std::string prefix = block.requested_us ? fmt::format("At {} μs: ", *block.requested_us) : std::string();
  // The measuring thread is started holding the stop signals, so that only
  // this thread ever takes them.
  platform.process.hold_stop_signals();
  facts.process_priority = engine.start();
  platform.process.catch_stop_signals();
  bool interrupted = false;
  const auto started = std::chrono::steady_clock::now();
  while (!engine.wait_for_end(kProgressInterval)) {
    if (platform.process.caught_stop_signal() != 0) {
      interrupted = true;
      break;
    }
    if (platform.process.suspension_requested()) {
      platform.process.suspend();
    }
    progress.show(prefix, counts(), std::chrono::steady_clock::now() - started);
  }
  engine.stop();

  facts.thread_priority = engine.thread_priority();
  if (accepted) {
    // What the measuring thread found in effect, or, stopped before its
    // first step, what the system says now.
    const auto in_effect =
        engine.resolution_in_effect() ? engine.resolution_in_effect() : platform.waits.query_timer_resolution();
    block.granted_us = in_effect ? in_effect->current_us : *accepted;
  }
  if (block.requested_us) {
    // Withdrawn: the system keeps a request until the process ends otherwise.
    platform.waits.release_timer_resolution(*block.requested_us);
  }
  for (std::size_t i = 0; i < request.modes.size(); ++i) {
    const measure::SleepSampler& sampler = engine.sampler(i);
    const measure::WaitMethod* method = measure::find_method(request.modes[i]);
    const measure::WaitCosts& costs = sampler.costs();
    block.methods.push_back({method->name, analysis::summarize(sampler.samples(), request.interval_us),
                             costs.cpu_unknown ? std::nullopt : analysis::cpu_percent(costs.cpu_ns, costs.waited_us),
                             costs.fallbacks, method->fallback});
  }
  return interrupted;
}

// Measures as the request says and gathers what the report tells.
ReportFacts measure_report(const Request& request, std::ostream& err, const measure::Platform& platform) {
  ReportFacts facts;
  facts.system = platform.process.system_info();
  facts.counter_frequency = platform.waits.counter_frequency();
  facts.timer_request_kept = platform.waits.keep_timer_request_when_hidden();
  facts.samples_per_method = request.samples;
  facts.interval_us = request.interval_us;
  facts.sleep_whole_milliseconds = platform.waits.sleeps_whole_milliseconds();
  facts.within_us = request.within_us;
  facts.baseline = request.baseline;
  facts.resolution = platform.waits.query_timer_resolution();
  ProgressLine progress(err, platform.console, request.modes, request.samples);
  for (const auto& resolution : request.resolutions_us) {
    ResolutionBlock& block = facts.blocks.emplace_back();
    block.requested_us = resolution;
    facts.interrupted = measure_block(request, facts, block, progress, platform);
    if (facts.interrupted) {
      break;
    }
  }
  progress.finish(facts.interrupted);
  return facts;
}

int write_report(const Request& request, const ReportFacts& facts, std::ostream& out, std::ostream& err) {
  switch (request.format) {
    case Format::Json:
      out << json_report(facts);
      break;
    case Format::OpenMetrics:
      out << openmetrics_report(facts);
      break;
    case Format::Text:
      write_text_report(facts, out);
      break;
  }
  out.flush();
  if (!out) {
    err << "quorvane: the report could not be written to standard output" << std::endl;
    return 1;
  }
  int status = 0;
  for (const ResolutionBlock& block : facts.blocks) {
    for (const MethodReport& method : block.methods) {
      if (request.max_p99_us && method.summary.count > 0 && method.summary.p99 > *request.max_p99_us) {
        err << fmt::format("quorvane: {} p99 {} μs is above --max-p99 {} μs{}", method.name, method.summary.p99,
                           *request.max_p99_us,
                           block.requested_us ? fmt::format(" at resolution {} μs", *block.requested_us) : "")
            << std::endl;
        status = 3;
      }
    }
  }
  if (request.baseline && request.max_regression_us) {
    for (const ComparedMethod& m : compare(facts, *request.baseline).compared) {
      const auto rise =
          change(m.before->p99, m.now->summary.count > 0 ? std::optional(m.now->summary.p99) : std::nullopt);
      if (rise && *rise > static_cast<std::int64_t>(*request.max_regression_us)) {
        err << fmt::format("quorvane: {} p99 rose by {} μs ({} → {} μs), more than --max-regression {} μs",
                           compared_label(m), *rise, *m.before->p99, m.now->summary.p99, *request.max_regression_us)
            << std::endl;
        status = 3;
      }
    }
  }
  return status;
}

}  // namespace

void add_report_options(CLI::App& application, ReportOptions& options) {
  CLI::Option* report =
      application.add_flag("--report", options.report, "Measure without the interface, print a report and exit");
  std::vector<std::string> names{kAllMethods};
  for (const measure::WaitMethod& method : measure::wait_methods()) {
    names.emplace_back(method.option);
  }
  const auto microseconds = [](std::uint64_t lo) { return CLI::Range(lo, std::uint64_t{kMaxMicroseconds}); };
  application
      .add_option(
          "--method", options.methods,
          fmt::format("{} (or all), in the order given; repeatable (default: the interface's three)", method_options()))
      ->type_name("NAME")
      ->delimiter(',')
      // "--" after a method ends the options, rather than the list.
      ->allow_extra_args(false)
      ->transform(CLI::IsMember(names, CLI::ignore_case));
  application.add_option("--samples", options.samples, "Samples per method")
      ->type_name("N")
      ->capture_default_str()
      ->check(CLI::Range(std::size_t{1}, kMaxSamples));
  application.add_option("--interval", options.interval_us, "How long every wait is asked to last, in μs")
      ->type_name("US")
      ->capture_default_str()
      ->check(microseconds(1));
  application.add_flag("--json", options.json, "The report as JSON: --format json");
  application.add_option("--format", options.format, "The report as a table, JSON, or OpenMetrics for Prometheus")
      ->type_name("FORMAT")
      ->capture_default_str()
      ->transform(CLI::IsMember({"text", "json", "openmetrics"}, CLI::ignore_case))
      ->excludes("--json");
  application.add_option("--compare", options.compare, "Compare with an earlier --json report in FILE")
      ->type_name("FILE");
  application
      .add_option("--max-regression", options.max_regression_us,
                  "Exit with status 3 if a p99 rose by more than US μs beyond --compare's")
      ->type_name("US")
      ->check(microseconds(0))
      ->needs("--compare");
  application
      .add_option("--resolution", options.resolutions,
                  "Measure at each of these timer resolutions in μs in turn (0 to 1000000, comma-separated)")
      ->type_name("US[,US...]")
      ->allow_extra_args(false)
      ->check(CLI::Validator(
          [](const std::string& list) {
            return resolution_list(list) ? std::string()
                                         : fmt::format(
                                               "accepts whole numbers of μs from 0 to {}, separated by "
                                               "commas, not \"{}\"",
                                               kMaxMicroseconds, list);
          },
          ""));
  application.add_option("--max-p99", options.max_p99_us, "Exit with status 3 if a p99 is above US μs")
      ->type_name("US")
      ->check(microseconds(0));
  application
      .add_option("--within", options.within_us,
                  "Name the method that costs the least CPU among those whose p99 is within US μs of the interval")
      ->type_name("US")
      ->check(microseconds(0));
  for (const char* name : kValueOptions) {
    CLI::Option* option = application.get_option(name);
    option->needs(report);
    if (option->get_items_expected_max() == 1) {
      option->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    }
  }
  application.get_option("--json")->needs(report);
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
                                      std::ostream& out, std::ostream& err, const measure::Platform& platform) {
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
