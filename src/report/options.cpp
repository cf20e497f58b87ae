#include "report/options.hpp"

#include <algorithm>
#include <charconv>
#include <functional>
#include <iterator>
#include <memory>

#include <fmt/format.h>
#include <CLI/CLI.hpp>

#include "report/conditions.hpp"
#include "report/option_lists.hpp"
#include "report/run_length.hpp"
#include "report/text.hpp"

namespace report {
namespace {

using measure::SleepMode;

constexpr std::uint64_t kMaxSamples = 1'000'000;
// What --method takes for every method.
constexpr std::string_view kAllMethods = "all";
// The options that take a value; the report's alone need --report (-o goes
// with --report or --plot, and is checked apart).
constexpr const char* kValueOptions[] = {
    "--method",         "--samples",  "--interval", "--resolution", "--max-p99", "--within",   "--format", "--compare",
    "--max-regression", "--priority", "--load",     "--cpu",        "--html",    "--duration", "--window", "--spike"};
constexpr const char* kSharedOptions[] = {"--method", "--interval", "--priority", "--load", "--cpu"};
constexpr const char* kListOptions[] = {"--method", "--resolution", "--priority", "--load", "--cpu"};
constexpr const char* kFlags[] = {"--report", "--json"};
// Drawing saved reports, which measures nothing: no report option goes with it.
constexpr const char* kPlotOptions[] = {"--plot", "--output"};

// "sleep, busywait, timer, hrtimer or hybrid"
std::string method_names() {
  const auto methods = measure::wait_methods();
  std::string text;
  for (std::size_t i = 0; i < methods.size(); ++i) {
    text += i == 0 ? "" : i + 1 == methods.size() ? " or " : ", ";
    text += methods[i].option;
  }
  return text;
}

// A whole number from `lowest` to `highest`, handed to `store`; `what` names
// it in the refusal ("a whole number of μs").
CLI::Option* add_number(CLI::App& application, const char* name, std::uint64_t lowest, std::uint64_t highest,
                        const char* what, const std::string& help, std::function<void(std::uint64_t)> store) {
  return application.add_option(name)->description(help)->check(
      reading([lowest, highest, what, store = std::move(store)](const std::string& text) {
        const auto value = decimal(text, lowest, highest);
        if (!value) {
          return fmt::format("accepts {} from {} to {}, not \"{}\"", what, lowest, highest, printable(text));
        }
        store(*value);
        return std::string();
      }));
}

// A time from a second to a week, read into `into`.
CLI::Option* add_time(CLI::App& application, const char* name, const std::string& help,
                      std::optional<std::chrono::seconds>& into) {
  return application.add_option(name)->description(help)->type_name("TIME")->check(
      reading([&into](const std::string& text) { return read_time(text, into); }));
}

// A file's name, handed to `store`; `what` says what the file is for.
CLI::Validator file_name(const char* what, std::function<void(const std::string&)> store) {
  return reading([what, store = std::move(store)](const std::string& file) {
    // "--compare --max-p99 5" would otherwise compare with a file named
    // "--max-p99" and take 5 for an unknown argument.
    if (file.empty() || file.front() == '-') {
      return fmt::format("needs {}, not \"{}\" (write ./{} for a file of that name)", what, printable(file),
                         printable(file));
    }
    store(file);
    return std::string();
  });
}

}  // namespace

std::optional<std::string> screen_refuses(const ReportOptions& options) {
  const std::pair<const char*, std::size_t> lists[] = {
      {"--priority", options.priorities.size()}, {"--load", options.loads.size()}, {"--cpu", options.cpus.size()}};
  for (const auto& [name, given] : lists) {
    if (given > 1) {
      return fmt::format("quorvane: {}: the screen measures in one condition; a list needs --report", name);
    }
  }
  if (options.all_cpus) {
    return std::string("quorvane: --cpu: the screen measures on one CPU; all needs --report");
  }
  return std::nullopt;
}

std::optional<std::uint64_t> decimal(std::string_view text, std::uint64_t lowest, std::uint64_t highest) {
  std::uint64_t value = 0;
  // from_chars in base 10 takes digits alone (a sign only for signed types).
  const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc{} || stop != text.data() + text.size() || value < lowest || value > highest) {
    return std::nullopt;
  }
  return value;
}

void add_report_options(CLI::App& application, ReportOptions& options) {
  CLI::Option* report =
      application.add_flag("--report", options.report, "Measure without the interface, print a report and exit");
  const std::string methods_accepted = fmt::format("accepts {} (or all), separated by commas", method_names());
  // Set once "all" is given: nothing may follow it, in its list or another.
  auto all_given = std::make_shared<bool>(false);
  application.add_option("--method")
      ->description(
          fmt::format("{} (or all), in the order given; repeatable (default: the interface's three)", method_names()))
      ->type_name("NAME[,NAME...]")
      ->allow_extra_args(false)
      ->check(reading([&options, all_given](const std::string& list) {
        const auto names = items(list);
        for (const std::string_view item : names) {
          const std::string name = lower(item);
          const auto all = measure::wait_methods();
          const auto method = std::find_if(all.begin(), all.end(), [&](const auto& m) { return name == m.option; });
          if (name != kAllMethods && method == all.end()) {
            return fmt::format("accepts {} (or all), separated by commas, not \"{}\"", method_names(), printable(list));
          }
          if (*all_given || (name == kAllMethods && (!options.modes.empty() || names.size() > 1))) {
            return std::string("all names every method and goes alone");
          }
          if (name == kAllMethods) {
            *all_given = true;
            std::transform(all.begin(), all.end(), std::back_inserter(options.modes),
                           [](const auto& m) { return m.mode; });
          } else if (std::find(options.modes.begin(), options.modes.end(), method->mode) != options.modes.end()) {
            return fmt::format("names each method once; \"{}\" came twice", name);
          } else {
            options.modes.push_back(method->mode);
          }
        }
        return std::string();
      }));
  add_number(application, "--samples", 1, kMaxSamples, "a whole number", "Samples per method",
             [&options](std::uint64_t n) { options.samples = static_cast<std::size_t>(n); })
      ->type_name("N")
      ->default_str(std::to_string(options.samples));
  add_number(application, "--interval", 1, kMaxMicroseconds, "a whole number of μs",
             "How long every wait is asked to last, in μs",
             [&options](std::uint64_t us) { options.interval_us = static_cast<std::uint32_t>(us); })
      ->type_name("US")
      ->default_str(std::to_string(options.interval_us));
  application.add_flag("--json", options.json, "The report as JSON: --format json");
  application.add_option("--format")
      ->description("The report as a table, JSON, OpenMetrics for Prometheus, or a page of plots (html)")
      ->type_name("FORMAT")
      ->default_str("text")
      ->check(reading([&options](const std::string& text) {
        const std::string name = lower(text);
        constexpr std::pair<const char*, Format> kFormats[] = {{"text", Format::Text},
                                                               {"json", Format::Json},
                                                               {"openmetrics", Format::OpenMetrics},
                                                               {"html", Format::Html}};
        for (const auto& [known, format] : kFormats) {
          if (name == known) {
            options.format = format;
            return std::string();
          }
        }
        return fmt::format("accepts text, json, openmetrics or html, not \"{}\"", printable(text));
      }))
      ->excludes("--json");
  application.add_option("--compare")
      ->description("Compare with an earlier --json report in FILE")
      ->type_name("FILE")
      ->check(file_name("the file of an earlier --json report",
                        [&options](const std::string& file) { options.compare = file; }));
  add_number(application, "--max-regression", 0, kMaxMicroseconds, "a whole number of μs",
             "Exit with status 3 if a p99 rose by more than US μs beyond --compare's, or if nothing was compared",
             [&options](std::uint64_t us) { options.max_regression_us = us; })
      ->type_name("US")
      ->needs("--compare");
  application.add_option("--resolution")
      ->description("Measure at each of these timer resolutions in μs in turn (0 to 1000000, comma-separated)")
      ->type_name("US[,US...]")
      ->allow_extra_args(false)
      ->check(reading([&options](const std::string& list) {
        for (const std::string_view item : items(list)) {
          const auto us = decimal(item, 0, kMaxMicroseconds);
          if (!us) {
            return fmt::format("accepts whole numbers of μs from 0 to {}, separated by commas, not \"{}\"",
                               kMaxMicroseconds, printable(list));
          }
          const auto value = static_cast<std::uint32_t>(*us);
          if (std::find(options.resolutions_us.begin(), options.resolutions_us.end(), value) !=
              options.resolutions_us.end()) {
            return fmt::format("names each resolution once; {} came twice", value);
          }
          options.resolutions_us.push_back(value);
        }
        return std::string();
      }));
  add_number(application, "--max-p99", 0, kMaxMicroseconds, "a whole number of μs",
             "Exit with status 3 if a p99 is above US μs", [&options](std::uint64_t us) { options.max_p99_us = us; })
      ->type_name("US");
  add_number(application, "--within", 0, kMaxMicroseconds, "a whole number of μs",
             "Name the method that costs the least CPU among those whose p99 is within US μs of the interval",
             [&options](std::uint64_t us) { options.within_us = us; })
      ->type_name("US");
  add_time(application, "--duration",
           "Measure every method for TIME (90s, 30m, 8h) rather than --samples of it, the conditions taking turns",
           options.duration)
      ->excludes("--samples");
  add_time(application, "--window", "Cut the run into windows of TIME for the timeline (default: a minute)",
           options.window)
      ->needs("--duration");
  add_number(application, "--spike", 0, kMaxMicroseconds, "a whole number of μs",
             "Log every wait longer than the interval by more than US μs",
             [&options](std::uint64_t us) { options.spike_us = us; })
      ->type_name("US");
  application.add_option("--html")
      ->description("Write the report's page of plots to FILE as well: one HTML file, nothing fetched")
      ->type_name("FILE")
      ->check(file_name("the file to write the page to", [&options](const std::string& file) { options.html = file; }));
  // One -o for every form that writes to a file: the report with --report,
  // the page with --plot.
  CLI::Option* output =
      application.add_option("-o,--output")
          ->description(
              "Write to FILE, whole (a temporary file renamed over it): the report, not to standard "
              "output, or with --plot the page")
          ->type_name("FILE")
          ->check(file_name("a file to write to", [&options](const std::string& file) { options.output = file; }))
          ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  CLI::Option* plot =
      application.add_option("--plot")
          ->description("Draw the page of saved --json reports, overlaid, without measuring; -o names the page")
          ->type_name("FILE...")
          ->expected(1, CLI::detail::expected_max_vector_size)
          ->allow_extra_args(true)
          ->check(file_name("the file of a --json report",
                            [&options](const std::string& file) { options.plot.push_back(file); }))
          ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
          ->needs(output)
          ->excludes(report);
  // -o needs one of the two, which needs() cannot say.
  application.callback([output, plot, report] {
    if (output->count() > 0 && plot->count() == 0 && report->count() == 0) {
      throw CLI::RequiresError("--output", "--report or --plot");
    }
  });
  add_condition_options(application, options);
  const auto among = [](const auto& names, const std::string& name) {
    return std::find(std::begin(names), std::end(names), name) != std::end(names);
  };
  for (const char* name : kValueOptions) {
    // Every value given is read (and checked); of a single value, the last holds.
    CLI::Option* option = application.get_option(name);
    option->multi_option_policy(among(kListOptions, name) ? CLI::MultiOptionPolicy::TakeAll
                                                          : CLI::MultiOptionPolicy::TakeLast);
    if (!among(kSharedOptions, name)) {
      option->needs(report);
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
         std::any_of(std::begin(kValueOptions), std::end(kValueOptions), given) ||
         std::any_of(std::begin(kPlotOptions), std::end(kPlotOptions), given);
}

}  // namespace report
