#include "report/text_report.hpp"

#include <algorithm>
#include <numeric>
#include <ostream>

#include <fmt/format.h>

#include "analysis/bounded_histogram.hpp"
#include "report/text.hpp"
#include "report/text_long_run.hpp"

namespace report {
namespace {

// Beyond this many, the entries on one side only are counted, not named.
constexpr std::size_t kNamedAtMost = 10;

const char* granted(bool yes) { return yes ? "granted" : "refused"; }

std::string or_unknown(const std::string& text) { return text.empty() ? "unknown" : printable(text); }

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

// "HighPrecisionSleep→Sleep" when some waits fell back: the table grows by
// the fallback's name alone, and a line below it gives the count.
std::string method_label(const MethodReport& method) {
  return method.fallbacks == 0 ? method.name : method.name + "→" + method.fallback;
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
      widths[i] = std::max(widths[i], columns(row[i]));
    }
  }
  const std::size_t gap = std::accumulate(widths.begin(), widths.end(), 2 * (widths.size() - 1)) <= 80 ? 2 : 1;
  const auto padding = [&](const Row& row, std::size_t i) { return std::string(widths[i] - columns(row[i]), ' '); };
  for (const Row& row : rows) {
    std::string line = row[0] + padding(row, 0);
    for (std::size_t i = 1; i < row.size(); ++i) {
      line += std::string(gap, ' ') + (i < left ? row[i] + padding(row, i) : padding(row, i) + row[i]);
    }
    // Trailing blanks of an empty last column would only trail.
    out << line.substr(0, line.find_last_not_of(' ') + 1) << '\n';
  }
}

// A thin percentile is marked: it is a few waits, not a distribution.
constexpr const char* kThinMark = "~";

Row table_row(const MethodReport& method, const EntryFindings& found) {
  const analysis::LatencySummary& s = method.summary;
  if (s.count == 0) {
    return {method_label(method), "0", "-", "-", "-", "-", "-", "-", "-", "-", "0", "-"};
  }
  const auto percentile = [&found](std::uint64_t value, std::string_view key) {
    const bool thin = std::find(found.thin.begin(), found.thin.end(), key) != found.thin.end();
    return fmt::format("{}{}", thin ? kThinMark : "", value);
  };
  return {method_label(method),          std::to_string(s.count),
          std::to_string(s.min),         percentile(s.p50, "p50"),
          percentile(s.p90, "p90"),      percentile(s.p99, "p99"),
          percentile(s.p999, "p999"),    std::to_string(s.max),
          fmt::format("{:.1f}", s.mean), fmt::format("{:.1f}", s.stddev),
          std::to_string(s.early),       percent_text(method.cpu_percent)};
}

void write_table(const std::vector<MethodReport>& methods, const std::vector<EntryFindings>& entries,
                 std::ostream& out) {
  std::vector<Row> rows{
      {"Method", "Samples", "Min", "p50", "p90", "p99", "p99.9", "Max", "Mean", "StdDev", "Early", "CPU%"}};
  for (std::size_t m = 0; m < methods.size(); ++m) {
    rows.push_back(table_row(methods[m], entries[m]));
  }
  write_columns(rows, out);
  for (const MethodReport& method : methods) {
    if (method.fallbacks > 0) {
      out << fmt::format("{}: {} of {} waits fell back to {}.\n", method_label(method), method.fallbacks,
                         method.summary.count, method.fallback);
    }
  }
}

std::string figure_text(const std::optional<std::uint64_t>& value) { return value ? std::to_string(*value) : "-"; }

void write_keys(const std::vector<EntryKey>& keys, const char* where, std::ostream& out) {
  for (std::size_t i = 0; i < std::min(keys.size(), kNamedAtMost); ++i) {
    out << where << ": " << key_label(keys[i]) << '\n';
  }
  if (keys.size() > kNamedAtMost) {
    out << fmt::format("{}: {} more\n", where, keys.size() - kNamedAtMost);
  }
}

void write_comparison(const Baseline& baseline, const Comparison& comparison, std::ostream& out) {
  out << fmt::format("\nCompared with {} (Quorvane {}{}), in μs:\n", printable(baseline.file),
                     printable(baseline.version),
                     baseline.interrupted ? "; interrupted: it holds what was measured before a signal stopped it"
                     : baseline.partial   ? "; partial: it holds what a run that went on had measured so far"
                                          : "");
  std::vector<Row> rows{{"Method", "", "Before", "Now", "Change"}};
  for (const ComparedEntry& entry : comparison.compared) {
    bool first = true;
    for (const ComparedFigure& figure : entry.figures) {
      const auto& delta = figure.change;
      rows.push_back({first ? entry.label : "", figure.label, figure_text(figure.before), figure_text(figure.now),
                      !delta        ? "-"
                      : *delta == 0 ? "0"
                                    : fmt::format("{:+}", *delta)});
      first = false;
    }
  }
  if (rows.size() > 1) {
    write_columns(rows, out, 2);
  }
  if (!comparison.p99_compared) {
    out << "Nothing compared: " << comparison.why_nothing_compared << ".\n";
  }
  write_keys(comparison.only_now, "Only now", out);
  write_keys(comparison.only_before, "Only in the baseline", out);
}

void write_choice(const ReportFacts& facts, const ResolutionBlock& block, const std::optional<std::size_t>& choice,
                  std::ostream& out) {
  const std::string lead = fmt::format("Within {} μs of {} μs:", *facts.within_us, facts.interval_us);
  if (!choice) {
    out << lead << " none of the methods measured.\n";
    return;
  }
  const MethodReport& best = block.methods[*choice];
  if (best.cpu_percent) {
    out << fmt::format("{} {} costs the least CPU, {:.1f} %, with a p99 of {} μs.\n", lead, best.name,
                       *best.cpu_percent, best.summary.p99);
  } else {
    out << fmt::format("{} {}, with a p99 of {} μs; what the waits cost in CPU this system does not say.\n", lead,
                       best.name, best.summary.p99);
  }
}

}  // namespace

void write_text_report(const ReportFacts& facts, const Findings& findings, std::ostream& out) {
  auto fact = [&out](const char* label, const std::string& text) { out << fmt::format("{:<12}{}\n", label, text); };
  out << "Quorvane " << QUORVANE_VERSION << " report: waits of " << interval_text(facts.interval_us)
      << ", times in μs\n";
  const measure::SystemInfo& system = facts.system;
  fact("System",
       fmt::format("{} {} {}", or_unknown(system.sysname), printable(system.release), printable(system.machine)));
  if (!system.version.empty()) {
    fact("", printable(system.version));
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
  if (!facts.duration) {
    fact("Samples", fmt::format("{} per method, one step of each in turn", facts.samples_per_method));
  }
  for (const auto& [label, text] : long_run_facts(facts)) {
    fact(label, text);
  }
  if (facts.sleep_whole_milliseconds && facts.interval_us % 1000 != 0) {
    fact("Sleep",
         fmt::format("asks for {} ms: this system sleeps whole milliseconds", (facts.interval_us + 999) / 1000));
  }
  if (facts.interrupted) {
    fact("Interrupted", "stopped by a signal; the tables hold what was measured");
  }
  for (std::size_t b = 0; b < facts.blocks.size(); ++b) {
    const ResolutionBlock& block = facts.blocks[b];
    out << '\n';
    if (block.requested_us) {
      out << fmt::format("Resolution {} μs requested, {}:\n", *block.requested_us,
                         block.granted_us ? fmt::format("{} granted", *block.granted_us) : "refused");
    }
    write_table(block.methods, findings.entries[b], out);
    write_worst_windows(facts, block, findings.entries[b], out);
    if (findings.choices) {
      write_choice(facts, block, (*findings.choices)[b], out);
    }
  }
  write_spikes(facts, findings, out);
  if (findings.comparison) {
    write_comparison(*facts.baseline, *findings.comparison, out);
  }
  out << fmt::format(
      "\nPercentiles by nearest rank; Mean and StdDev exact; Early: waits shorter than\n"
      "the {} μs asked for; CPU%: the share of the waits' time the measuring thread\n"
      "spent on a CPU.\n",
      facts.interval_us);
  const auto marked = [&findings](auto what) {
    return std::any_of(findings.entries.begin(), findings.entries.end(), [&](const auto& entries) {
      return std::any_of(entries.begin(), entries.end(), [&](const EntryFindings& e) { return !(e.*what).empty(); });
    });
  };
  if (marked(&EntryFindings::thin)) {
    out << kThinMark << ": fewer than ten waits lie beyond this percentile: a few waits, not a distribution.\n";
  }
  if (marked(&EntryFindings::approximate)) {
    out << fmt::format("Above {} μs the percentiles and StdDev are the histogram's, within {:.2f} %.\n",
                       analysis::BoundedHistogram::kExactBelow - 1, 100.0 * analysis::BoundedHistogram::kRelativeError);
  }
}

}  // namespace report
