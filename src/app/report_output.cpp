#include "app/report_output.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "app/report_compare.hpp"

namespace app {
namespace {

using Json = nlohmann::ordered_json;

const char* granted(bool yes) { return yes ? "granted" : "refused"; }

std::string or_unknown(const std::string& text) { return text.empty() ? "unknown" : text; }

std::string throttling_text(measure::TimerRequestKept kept) {
  switch (kept) {
    case measure::TimerRequestKept::Accepted:
      return "opt-out accepted: the timer request holds while hidden";
    case measure::TimerRequestKept::Refused:
      return "opt-out refused: hidden, the timer request may be set aside";
    case measure::TimerRequestKept::NotApplicable:
      break;
  }
  return "not applicable on this system";
}

// "1 ms", "2500 μs"
std::string interval_text(std::uint64_t us) {
  return us % 1000 == 0 ? fmt::format("{} ms", us / 1000) : fmt::format("{} μs", us);
}

// "HighPrecisionSleep (40 of 40 fell back to Sleep)"
std::string method_label(const MethodReport& method) {
  if (method.fallbacks == 0) {
    return method.name;
  }
  return fmt::format("{} ({} of {} fell back to {})", method.name, method.fallbacks, method.summary.count,
                     method.fallback);
}

std::string percent_text(const std::optional<double>& percent) {
  return percent ? fmt::format("{:.1f}", *percent) : "-";
}

using Row = std::vector<std::string>;

// The first `left` columns left-aligned and the rest right-aligned; the
// columns close up to one space where two would pass 80 columns.
void write_columns(const std::vector<Row>& rows, std::ostream& out, std::size_t left = 1) {
  std::vector<std::size_t> widths(rows.front().size(), 0);
  for (const Row& row : rows) {
    for (std::size_t i = 0; i < row.size(); ++i) {
      widths[i] = std::max(widths[i], row[i].size());
    }
  }
  const std::size_t gap = std::accumulate(widths.begin(), widths.end(), 2 * (widths.size() - 1)) <= 80 ? 2 : 1;
  for (const Row& row : rows) {
    std::string line = fmt::format("{:<{}}", row[0], widths[0]);
    for (std::size_t i = 1; i < row.size(); ++i) {
      line += i < left ? fmt::format("{:{}}{:<{}}", "", gap, row[i], widths[i])
                       : fmt::format("{:>{}}", row[i], widths[i] + gap);
    }
    // Trailing blanks of an empty last column would only trail.
    out << line.substr(0, line.find_last_not_of(' ') + 1) << '\n';
  }
}

Row table_row(const MethodReport& method) {
  const analysis::LatencySummary& s = method.summary;
  if (s.count == 0) {
    return {method_label(method), "0", "-", "-", "-", "-", "-", "-", "-", "-", "0", "-"};
  }
  return {method_label(method),          std::to_string(s.count),
          std::to_string(s.min),         std::to_string(s.p50),
          std::to_string(s.p90),         std::to_string(s.p99),
          std::to_string(s.p999),        std::to_string(s.max),
          fmt::format("{:.1f}", s.mean), fmt::format("{:.1f}", s.stddev),
          std::to_string(s.early),       percent_text(method.cpu_percent)};
}

void write_table(const std::vector<MethodReport>& methods, std::ostream& out) {
  std::vector<Row> rows{
      {"Method", "Samples", "Min", "p50", "p90", "p99", "p99.9", "Max", "Mean", "StdDev", "Early", "CPU%"}};
  for (const MethodReport& method : methods) {
    rows.push_back(table_row(method));
  }
  write_columns(rows, out);
}

std::optional<std::uint64_t> known(const analysis::LatencySummary& s, std::uint64_t value) {
  return s.count > 0 ? std::optional(value) : std::nullopt;
}

// The four figures a comparison shows, before and now.
struct Compared {
  const char* statistic;
  std::optional<std::uint64_t> before, now;
};
std::array<Compared, 4> compared_figures(const ComparedMethod& m) {
  const analysis::LatencySummary& s = m.now->summary;
  return {{{"p50", m.before->p50, known(s, s.p50)},
           {"p99", m.before->p99, known(s, s.p99)},
           {"p99.9", m.before->p999, known(s, s.p999)},
           {"max", m.before->max, known(s, s.max)}}};
}

std::string figure_text(const std::optional<std::uint64_t>& value) { return value ? std::to_string(*value) : "-"; }

void write_comparison(const ReportFacts& facts, std::ostream& out) {
  const Baseline& baseline = *facts.baseline;
  const Comparison comparison = compare(facts, baseline);
  out << fmt::format(
      "\nCompared with {} (Quorvane {}{}), in μs:\n", baseline.file, baseline.version,
      baseline.interrupted ? "; interrupted: it holds what was measured before a signal stopped it" : "");
  std::vector<Row> rows{{"Method", "", "Before", "Now", "Change"}};
  for (const ComparedMethod& m : comparison.compared) {
    bool first = true;
    for (const Compared& figure : compared_figures(m)) {
      const auto delta = change(figure.before, figure.now);
      rows.push_back({first ? compared_label(m) : "", figure.statistic, figure_text(figure.before),
                      figure_text(figure.now),
                      !delta        ? "-"
                      : *delta == 0 ? "0"
                                    : fmt::format("{:+}", *delta)});
      first = false;
    }
  }
  if (rows.size() > 1) {
    write_columns(rows, out, 2);
  }
  for (const auto& [names, where] :
       {std::pair{&comparison.only_now, "Only now"}, std::pair{&comparison.only_before, "Only in the baseline"}}) {
    for (const MethodKey& key : *names) {
      out << where << ": " << key_label(key) << '\n';
    }
  }
}

std::vector<analysis::Candidate> candidates(const ResolutionBlock& block) {
  std::vector<analysis::Candidate> all;
  for (const MethodReport& method : block.methods) {
    // A method with no samples has no p99 to be within anything.
    all.push_back({method.summary.count > 0 ? method.summary.p99 : UINT64_MAX, method.cpu_percent});
  }
  return all;
}

// The method --within names for a block, or nothing.
const MethodReport* choice(const ReportFacts& facts, const ResolutionBlock& block) {
  const auto all = candidates(block);
  const auto best = analysis::cheapest_within(all, facts.interval_us, *facts.within_us);
  return best ? &block.methods[*best] : nullptr;
}

void write_choice(const ReportFacts& facts, const ResolutionBlock& block, std::ostream& out) {
  const std::string lead = fmt::format("Within {} μs of {} μs:", *facts.within_us, facts.interval_us);
  const MethodReport* best = choice(facts, block);
  if (best == nullptr) {
    out << lead << " none of the methods measured.\n";
  } else if (best->cpu_percent) {
    out << fmt::format("{} {} costs the least CPU, {:.1f} %, with a p99 of {} μs.\n", lead, best->name,
                       *best->cpu_percent, best->summary.p99);
  } else {
    out << fmt::format("{} {}, with a p99 of {} μs; what the waits cost in CPU this system does not say.\n", lead,
                       best->name, best->summary.p99);
  }
}

template <typename T>
Json or_null(const std::optional<T>& value) {
  return value ? Json(*value) : Json(nullptr);
}

// Three decimals are below anything a microsecond counter can tell.
double rounded(double value) { return std::round(value * 1000.0) / 1000.0; }

Json method_json(const ReportFacts& facts, const ResolutionBlock& block, const MethodReport& method) {
  const analysis::LatencySummary& s = method.summary;
  const bool any = s.count > 0;
  auto number = [any](auto value) { return any ? Json(value) : Json(nullptr); };
  Json histogram = Json::object();
  for (const auto& [us, count] : s.histogram) {
    histogram[std::to_string(us)] = count;
  }
  return Json{{"method", method.name},
              {"interval", facts.interval_us},
              {"resolution_requested", or_null(block.requested_us)},
              {"resolution_granted", or_null(block.granted_us)},
              {"samples", s.count},
              {"min", number(s.min)},
              {"p50", number(s.p50)},
              {"p90", number(s.p90)},
              {"p99", number(s.p99)},
              {"p999", number(s.p999)},
              {"max", number(s.max)},
              {"avg", number(rounded(s.mean))},
              {"stddev", number(rounded(s.stddev))},
              {"early", s.early},
              {"cpu_percent", method.cpu_percent ? Json(rounded(*method.cpu_percent)) : Json(nullptr)},
              {"fallbacks", method.fallbacks},
              {"histogram", std::move(histogram)}};
}

Json keys_json(const std::vector<MethodKey>& keys) {
  Json all = Json::array();
  for (const MethodKey& key : keys) {
    all.push_back(
        {{"method", key.method}, {"interval", key.interval_us}, {"resolution_requested", or_null(key.resolution_us)}});
  }
  return all;
}

// The baseline's figures for a method, and how far they moved; null for a
// method the baseline does not have.
Json baseline_json(const Comparison& comparison, const MethodReport& method) {
  for (const ComparedMethod& m : comparison.compared) {
    if (m.now == &method) {
      Json before = Json::object();
      Json changes = Json::object();
      for (const Compared& figure : compared_figures(m)) {
        const std::string key = figure.statistic == std::string("p99.9") ? "p999" : figure.statistic;
        before[key] = or_null(figure.before);
        changes[key] = or_null(change(figure.before, figure.now));
      }
      before["change"] = std::move(changes);
      return before;
    }
  }
  return nullptr;
}

}  // namespace

void write_text_report(const ReportFacts& facts, std::ostream& out) {
  auto fact = [&out](const char* label, const std::string& text) { out << fmt::format("{:<12}{}\n", label, text); };
  out << "Quorvane " << QUORVANE_VERSION << " report: waits of " << interval_text(facts.interval_us)
      << ", times in μs\n";
  const measure::SystemInfo& system = facts.system;
  fact("System", fmt::format("{} {} {}", or_unknown(system.sysname), system.release, system.machine));
  if (!system.version.empty()) {
    fact("", system.version);
  }
  fact("CPU", or_unknown(system.cpu_model));
  fact("Counter", fmt::format("{} Hz", facts.counter_frequency));
  fact("Priority",
       fmt::format("process {}, thread {}", granted(facts.process_priority), granted(facts.thread_priority)));
  if (const auto& r = facts.resolution) {
    fact("Resolution", fmt::format("current {}, coarsest {}, finest {}", r->current_us, r->coarsest_us, r->finest_us));
  } else {
    fact("Resolution", "unknown");
  }
  fact("Throttling", throttling_text(facts.timer_request_kept));
  fact("Samples", fmt::format("{} per method, one step of each in turn", facts.samples_per_method));
  if (facts.sleep_whole_milliseconds && facts.interval_us % 1000 != 0) {
    fact("Sleep",
         fmt::format("asks for {} ms: this system sleeps whole milliseconds", (facts.interval_us + 999) / 1000));
  }
  if (facts.interrupted) {
    fact("Interrupted", "stopped by a signal; the tables hold what was measured");
  }
  for (const ResolutionBlock& block : facts.blocks) {
    out << '\n';
    if (block.requested_us) {
      out << fmt::format("Resolution {} μs requested, {}:\n", *block.requested_us,
                         block.granted_us ? fmt::format("{} granted", *block.granted_us) : "refused");
    }
    write_table(block.methods, out);
    if (facts.within_us) {
      write_choice(facts, block, out);
    }
  }
  if (facts.baseline) {
    write_comparison(facts, out);
  }
  out << fmt::format(
      "\nPercentiles by nearest rank; Early: waits shorter than the {} μs asked for;\n"
      "CPU%: the share of the waits' time the measuring thread spent on a CPU.\n",
      facts.interval_us);
}

std::string json_report(const ReportFacts& facts) {
  const measure::SystemInfo& system = facts.system;
  const auto& r = facts.resolution;
  Json methods = Json::array();
  Json choices = Json::array();
  const std::optional<Comparison> comparison =
      facts.baseline ? std::optional(compare(facts, *facts.baseline)) : std::nullopt;
  for (const ResolutionBlock& block : facts.blocks) {
    for (const MethodReport& method : block.methods) {
      methods.push_back(method_json(facts, block, method));
      if (comparison) {
        methods.back()["baseline"] = baseline_json(*comparison, method);
      }
    }
    if (facts.within_us) {
      const MethodReport* best = choice(facts, block);
      choices.push_back(
          {{"resolution_requested", or_null(block.requested_us)}, {"method", best ? Json(best->name) : Json(nullptr)}});
    }
  }
  const Json kept = facts.timer_request_kept == measure::TimerRequestKept::NotApplicable
                        ? Json(nullptr)
                        : Json(facts.timer_request_kept == measure::TimerRequestKept::Accepted);
  Json document{
      {"file_version", kReportFileVersion},
      {"program", "Quorvane"},
      {"version", QUORVANE_VERSION},
      {"sysinfo",
       {{"sysname", system.sysname},
        {"release", system.release},
        {"version", system.version},
        {"machine", system.machine},
        {"cpu_model", system.cpu_model.empty() ? Json(nullptr) : Json(system.cpu_model)}}},
      {"counter_frequency", facts.counter_frequency},
      {"priority", {{"process", facts.process_priority}, {"thread", facts.thread_priority}}},
      {"timer_request_kept_when_hidden", kept},
      {"interval", facts.interval_us},
      {"sleep_whole_milliseconds", facts.sleep_whole_milliseconds},
      {"resolution",
       {{"current", r ? Json(r->current_us) : Json(nullptr)},
        {"coarsest", r ? Json(r->coarsest_us) : Json(nullptr)},
        {"finest", r ? Json(r->finest_us) : Json(nullptr)}}},
      {"samples_per_method", facts.samples_per_method},
      {"interrupted", facts.interrupted},
      {"methods", std::move(methods)},
  };
  if (facts.within_us) {
    document["within"] = {{"us", *facts.within_us}, {"choices", std::move(choices)}};
  }
  if (comparison) {
    const Baseline& b = *facts.baseline;
    document["baseline"] = {{"file", b.file},
                            {"file_version", b.file_version},
                            {"version", b.version},
                            {"interrupted", b.interrupted},
                            {"only_in_baseline", keys_json(comparison->only_before)},
                            {"only_now", keys_json(comparison->only_now)}};
  }
  // A system string that is not UTF-8 gets replacement characters rather
  // than costing the whole document.
  return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace app
