#include <algorithm>
#include <ostream>

#include <fmt/format.h>

#include "report/text.hpp"
#include "report/text_report.hpp"
#include "report/text_table.hpp"

namespace report {
namespace {

// Beyond this many, the entries on one side only are counted, not named.
constexpr std::size_t kNamedAtMost = 10;

std::string figure_text(const std::optional<std::uint64_t>& value) { return value ? std::to_string(*value) : "-"; }

void write_keys(const std::vector<EntryKey>& keys, const char* where, std::ostream& out) {
  for (std::size_t i = 0; i < std::min(keys.size(), kNamedAtMost); ++i) {
    out << where << ": " << key_label(keys[i]) << '\n';
  }
  if (keys.size() > kNamedAtMost) {
    out << fmt::format("{}: {} more\n", where, keys.size() - kNamedAtMost);
  }
}

}  // namespace

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

}  // namespace report
