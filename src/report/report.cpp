#include "report/report.hpp"

#include <algorithm>
#include <exception>
#include <ostream>

#include <fmt/format.h>

#include "report/baseline.hpp"
#include "report/conditions.hpp"
#include "report/findings.hpp"
#include "report/html_output.hpp"
#include "report/json_report.hpp"
#include "report/output_file.hpp"
#include "report/run.hpp"
#include "report/run_length.hpp"
#include "report/text.hpp"

namespace report {
namespace {

// What the gates say of the figures: 0, or 3 with a line for each failure.
int gate(const ReportOptions& options, const ReportFacts& facts, const Findings& findings, std::ostream& err) {
  int status = 0;
  for (const ConditionBlock& block : facts.blocks) {
    for (const MethodReport& method : block.methods) {
      if (options.max_p99_us && method.summary.count > 0 && method.summary.p99 > *options.max_p99_us) {
        err << fmt::format("quorvane: {} p99 {} μs is above --max-p99 {} μs{}{}", method.name, method.summary.p99,
                           *options.max_p99_us,
                           block.requested_us ? fmt::format(" at resolution {} μs", *block.requested_us) : "",
                           condition_text(block.priority, block.load, block.cpu))
            << std::endl;
        status = 3;
      }
    }
  }
  if (!findings.comparison) {
    return status;
  }
  const Comparison& comparison = *findings.comparison;
  if (!comparison.p99_compared) {
    // A gate that compared nothing has not passed.
    err << fmt::format("quorvane: {}nothing was compared with {}: {}",
                       options.max_regression_us ? "" : "warning: ", printable(facts.baseline->file),
                       comparison.why_nothing_compared)
        << std::endl;
    return options.max_regression_us ? 3 : status;
  }
  for (const ComparedEntry& entry : comparison.compared) {
    const ComparedFigure& p99 = entry.p99();
    if (options.max_regression_us && p99.change && *p99.change > 0 &&
        static_cast<std::uint64_t>(*p99.change) > *options.max_regression_us) {
      err << fmt::format("quorvane: {} p99 rose by {} μs ({} → {} μs), more than --max-regression {} μs", entry.label,
                         *p99.change, *p99.before, *p99.now, *options.max_regression_us)
          << std::endl;
      status = 3;
    }
  }
  return status;
}

}  // namespace

std::optional<int> run_report_command(const ReportOptions& given, const std::vector<std::string>& extras,
                                      std::ostream& out, std::ostream& err, const measure::Platform& platform) {
  if (!given.report && given.plot.empty()) {
    return std::nullopt;
  }
  // A mistyped option must not pass unnoticed: in a CI gate, `--max-p9 50`
  // ignored would let every runner through. After "--" nothing is an option.
  const auto extra = std::find_if(extras.begin(), extras.end(), [](const std::string& e) { return e != "--"; });
  if (extra != extras.end()) {
    err << fmt::format("quorvane: unknown argument \"{}\" (--help lists the options of --report)", printable(*extra))
        << std::endl;
    return 2;
  }
  if (!given.plot.empty()) {
    return plot_reports(given.plot, *given.output, platform.files, err);
  }
  if (const auto line = options_conflict(given)) {
    err << *line << std::endl;
    return 2;
  }
  // A page never goes over the report it reads, nor over the report it is
  // the page of; a report may go over its baseline (carried forward).
  std::vector<Kept> kept;
  if (given.compare) {
    kept.push_back({*given.compare, "the report it reads"});
  }
  const bool output_is_page = given.format == Format::Html && given.output;
  if (given.output && !output_is_page) {
    kept.push_back({*given.output, "the report's --output"});
  }
  for (const auto& [option, page] :
       {std::pair{"--html", given.html}, {"--output", output_is_page ? given.output : std::nullopt}}) {
    if (const auto line = page ? unwritable(option, *page, kept, platform.files) : std::nullopt) {
      err << *line << std::endl;
      return 2;
    }
  }
  std::optional<Baseline> baseline;
  if (given.compare) {
    auto read = read_baseline(*given.compare);
    if (const auto* line = std::get_if<std::string>(&read)) {
      err << "quorvane: " << *line << std::endl;
      return 2;
    }
    baseline = std::get<Baseline>(std::move(read));
  }
  // Found before any measuring: a folder that is missing or closed.
  if (given.output) {
    if (const auto why = platform.files.check_writable(*given.output)) {
      err << fmt::format("quorvane: --output {}: {}", printable(*given.output), printable(*why)) << std::endl;
      return 2;
    }
  }
  ReportOptions options = given;
  if (options.modes.empty()) {
    for (const measure::WaitMethod& method : measure::interface_methods()) {
      options.modes.push_back(method.mode);
    }
  }
  // CPUs that are not there, or not the process's to use, before any
  // thread starts.
  auto cpus = chosen_cpus(options, platform.placement);
  if (const auto* line = std::get_if<std::string>(&cpus)) {
    err << *line << std::endl;
    return 2;
  }
  const auto conditions = conditions_of(options, std::get<std::vector<std::uint32_t>>(cpus));
  const Format format = options.json ? Format::Json : options.format;
  Rewrites rewrites;
  try {
    const PartialReport partial =
        options.output && options.duration
            ? rewrite_after_each_window(format, *options.output, platform.files, err, rewrites)
            : PartialReport();
    const ReportFacts facts = measure_report(options, conditions, std::move(baseline), err, platform, partial);
    if (rewrites.failed) {
      return 1;
    }
    const Findings findings = conclude(facts);
    // The page is drawn from the report's JSON itself, so that the two
    // cannot disagree.
    if (!write_report(format, facts, findings, options.output, platform.files, out, err) ||
        (options.html && !write_run_page(json_report(facts, findings), *options.html, platform.files, err))) {
      return 1;
    }
    return gate(options, facts, findings, err);
  } catch (const std::exception& e) {
    err << "quorvane: the report failed: " << e.what()
        << (rewrites.made ? fmt::format("; {} holds the figures of the windows before, marked partial",
                                        printable(*options.output))
                          : "")
        << std::endl;
    return 1;
  }
}

}  // namespace report
