#include "report/text_report.hpp"

#include <algorithm>
#include <ostream>
#include <set>

#include <fmt/format.h>

#include "analysis/bounded_histogram.hpp"
#include "report/conditions.hpp"
#include "report/text.hpp"
#include "report/text_long_run.hpp"
#include "report/text_table.hpp"

namespace report {
namespace {

// "HighPrecisionSleep→Sleep" when some waits fell back: the table grows by
// the fallback's name alone, and a line below it gives the count.
std::string method_label(const MethodReport& method) {
  return method.fallbacks == 0 ? method.name : method.name + "→" + method.fallback;
}

std::string percent_text(const std::optional<double>& percent) {
  return percent ? fmt::format("{:.1f}", *percent) : "-";
}

template <typename Field>
std::size_t distinct(const std::vector<ConditionBlock>& blocks, Field field) {
  std::set<decltype(field(blocks.front()))> values;
  for (const ConditionBlock& block : blocks) {
    values.insert(field(block));
  }
  return values.size();
}

// A thin percentile is marked: it is a few waits, not a distribution.
constexpr const char* kThinMark = "~";

// Which parts of the condition get a column: those that vary. Migrations
// are shown wherever a CPU or a load was asked for.
struct Columns {
  bool priority = false, load = false, cpu = false, kind = false, granted = false, migrations = false;

  Columns(const std::vector<ConditionBlock>& all, const std::vector<ConditionBlock>& group) {
    priority = distinct(all, [](const auto& b) { return b.priority; }) > 1;
    load = distinct(all, [](const auto& b) { return b.load; }) > 1;
    cpu = distinct(all, [](const auto& b) { return b.cpu; }) > 1;
    kind = cpu && std::any_of(all.begin(), all.end(), [](const auto& b) { return b.cpu_kind.has_value(); });
    granted = distinct(group, [](const auto& b) { return b.granted_us; }) > 1;
    migrations = std::any_of(all.begin(), all.end(), [](const auto& b) { return b.load > 0 || b.cpu; });
  }
  Row head() const {
    Row row;
    for (const auto& [shown, name] : {std::pair{priority, "Priority"}, {load, "Load"}, {cpu, "CPU"}, {kind, "Kind"}}) {
      if (shown) {
        row.push_back(name);
      }
    }
    if (granted) {
      row.push_back("Granted");
    }
    return row;
  }
  Row cells(const ConditionBlock& b) const {
    Row row;
    if (priority) {
      row.push_back(measure::priority_name(b.priority));
    }
    if (load) {
      row.push_back(std::to_string(b.load));
    }
    if (cpu) {
      row.push_back(b.cpu ? std::to_string(*b.cpu) : "any");
    }
    if (kind) {
      row.push_back(b.cpu_kind ? kind_name(*b.cpu_kind) : "-");
    }
    if (granted) {
      row.push_back(b.granted_us ? std::to_string(*b.granted_us) : "refused");
    }
    return row;
  }
};

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

// One table for the blocks of a resolution, the first of them block `first`
// of the report, each block's rows together, its condition on the first of
// them; below it each method's worst window.
void write_table(const ReportFacts& facts, const std::vector<ConditionBlock>& group, std::size_t first,
                 const Findings& findings, const Columns& shown, std::ostream& out) {
  std::vector<Row> rows{shown.head()};
  for (const char* name :
       {"Method", "Samples", "Min", "p50", "p90", "p99", "p99.9", "Max", "Mean", "StdDev", "Early", "CPU%"}) {
    rows.front().push_back(name);
  }
  if (shown.migrations) {
    rows.front().push_back("Migr.");
  }
  const std::size_t left = rows.front().size() - (shown.migrations ? 12 : 11);
  for (std::size_t c = 0; c < group.size(); ++c) {
    const ConditionBlock& block = group[c];
    for (std::size_t m = 0; m < block.methods.size(); ++m) {
      Row row = shown.cells(block);
      if (m > 0) {
        std::fill(row.begin(), row.end(), "");
      }
      const Row figures = table_row(block.methods[m], findings.entries[first + c][m]);
      row.insert(row.end(), figures.begin(), figures.end());
      if (shown.migrations) {
        const auto& moved = block.methods[m].migrations;
        row.push_back(moved ? std::to_string(*moved) : "-");
      }
      rows.push_back(std::move(row));
    }
  }
  write_columns(rows, out, left);
  for (const ConditionBlock& block : group) {
    for (const MethodReport& method : block.methods) {
      if (method.fallbacks > 0) {
        out << fmt::format("{}{}: {} of {} waits fell back to {}.\n", method_label(method),
                           condition_text(block.priority, block.load, block.cpu), method.fallbacks,
                           method.summary.count, method.fallback);
      }
    }
  }
  for (std::size_t c = 0; c < group.size(); ++c) {
    write_worst_windows(facts, group[c], findings.entries[first + c], out);
  }
}

void write_choice(const ReportFacts& facts, const ConditionBlock& block, const std::optional<std::size_t>& choice,
                  std::ostream& out) {
  const std::string lead = fmt::format("Within {} μs of {} μs{}:", *facts.within_us, facts.interval_us,
                                       condition_text(block.priority, block.load, block.cpu));
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
  // The blocks of one resolution follow each other.
  std::vector<std::vector<ConditionBlock>> groups;
  for (const ConditionBlock& block : facts.blocks) {
    if (groups.empty() || groups.back().front().requested_us != block.requested_us) {
      groups.emplace_back();
    }
    groups.back().push_back(block);
  }
  write_facts(facts, groups.empty() ? 1 : groups.front().size(), out);
  std::size_t b = 0;
  for (const auto& group : groups) {
    const Columns shown(facts.blocks, group);
    out << '\n';
    if (const auto& requested = group.front().requested_us) {
      const auto& grant = group.front().granted_us;
      out << fmt::format("Resolution {} μs requested, {}:\n", *requested,
                         shown.granted ? "granted as the column says"
                         : grant       ? fmt::format("{} granted", *grant)
                                       : "refused");
    }
    write_table(facts, group, b, findings, shown, out);
    for (const ConditionBlock& block : group) {
      if (findings.choices) {
        write_choice(facts, block, (*findings.choices)[b], out);
      }
      ++b;
    }
  }
  write_spikes(facts, out);
  if (findings.comparison) {
    write_comparison(*facts.baseline, *findings.comparison, out);
  }
  out << fmt::format(
      "\nPercentiles by nearest rank; Mean and StdDev exact; Early: waits shorter than\n"
      "the {} μs asked for; CPU%: the share of the waits' time the measuring thread\n"
      "spent on a CPU.\n",
      facts.interval_us);
  if (Columns(facts.blocks, facts.blocks).migrations) {
    out << "Migr.: waits that did not begin and end on the same CPU, or on the one it was kept to.\n";
  }
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
