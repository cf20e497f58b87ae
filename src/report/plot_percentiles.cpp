// How late each method's waits are, from the median to the worst, on an
// axis of nines.
#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <set>

#include <fmt/format.h>

#include "report/plots.hpp"

namespace report {
namespace {

// Where each percentile sits: -log10(1 - p), the maximum a step beyond.
struct Nine {
  const char* key;  // its data- attribute
  const char* label;
  double at;
};
constexpr std::array<Nine, 6> kNines{{{"p50", "50", 0.30103},
                                      {"p90", "90", 1},
                                      {"p99", "99", 2},
                                      {"p999", "99.9", 3},
                                      {"p9999", "99.99", 4},
                                      {"max", "max", 5}}};

using Figures = std::array<std::optional<std::uint64_t>, kNines.size()>;

Figures now(const PlotEntry& e) { return {e.p50, e.p90, e.p99, e.p999, e.p9999, e.max}; }
// The earlier report has p50, p99, p99.9 and the maximum.
Figures before(const PlotBefore& b) { return {b.p50, std::nullopt, b.p99, b.p999, std::nullopt, b.max}; }

// A curve: its data- attributes, its <title>, a line and markers.
std::string curve(const Series& s, const Figures& figures, const Axis& x, const Axis& y, bool earlier) {
  std::string attributes, text;
  std::vector<std::pair<double, double>> points;
  for (std::size_t i = 0; i < kNines.size(); ++i) {
    if (figures[i]) {
      attributes += fmt::format(R"( data-{}="{}")", kNines[i].key, *figures[i]);
      text += fmt::format("{}{} {} μs", text.empty() ? "" : ", ", kNines[i].label, *figures[i]);
      points.emplace_back(x.at(kNines[i].at), y.at(lateness(*figures[i], *s.entry)));
    }
  }
  std::string out = earlier ? fmt::format(R"(<g class="baseline" data-report="{}" data-entry="{}"{}>)",
                                          html_escaped(s.report_name), html_escaped(s.label), attributes)
                            : fmt::format("<g {}{}>", series_attributes(s), attributes);
  out += title(
      fmt::format("{}{}: {}; interval {} μs", s.label, earlier ? ", earlier report" : "", text, s.entry->interval_us));
  out += polyline(points, s.style, earlier ? 1.25 : 2, earlier ? kBaselineDash : s.style.dash);
  for (const auto& [px, py] : points) {
    out += marker(s.style, px, py, earlier);
  }
  return out + "</g>";
}

}  // namespace

std::string percentile_plot(const std::vector<Series>& series) {
  double highest = 0;
  std::set<std::uint64_t> intervals;
  std::vector<LegendItem> items;
  std::set<std::string> earlier_files;
  std::vector<std::string> empty;
  for (const Series& s : series) {
    intervals.insert(s.entry->interval_us);
    if (!s.entry->max) {
      empty.push_back(s.label + ", no samples");
      continue;
    }
    items.push_back({s.label, s.style});
    highest = std::max(highest, lateness(*s.entry->max, *s.entry));
    if (s.entry->baseline && s.entry->baseline->max) {
      highest = std::max(highest, lateness(*s.entry->baseline->max, *s.entry));
      earlier_files.insert(s.report->baseline_file.value_or("the earlier report"));
    }
  }
  for (const std::string& file : earlier_files) {
    items.push_back({"dashed, hollow: " + file, {"#555555", "", 0}, true});
  }
  const Axis x{0, 5.3, Scale::Linear, kLeft, kPlotWidth - kRight};
  const Axis y{0, lateness_top(highest), Scale::Lateness, kTop + kAreaHeight, kTop};
  const double legend_top = y.from + 44;
  std::string out = svg_open("percentiles", kPlotWidth, legend_top + legend_height(items.size()) + 6,
                             "lateness at each percentile, a curve per entry");
  std::vector<Tick> ticks;
  for (const Nine& nine : kNines) {
    ticks.push_back({nine.at, nine.label});
  }
  out += axes(x, ticks, "percentile of the waits (nines; max the longest)", y, lateness_ticks(y.hi),
              "lateness (μs over the interval)");
  std::string said;
  for (const std::uint64_t interval : intervals) {
    said += (said.empty() ? "" : ", ") + std::to_string(interval);
  }
  out += fmt::format(R"(<g class="interval"><line x1="{0}" y1="{1:.1f}" x2="{2}" y2="{1:.1f}" stroke="#000" )"
                     R"(stroke-width="1.5" stroke-dasharray="6 3"/>)",
                     x.from, y.at(0), x.to);
  out += label(x.to - 4, y.at(0) - 5, fmt::format("the interval, {} μs: on time", said), "end") + "</g>";
  for (const Series& s : series) {
    if (s.entry->max) {
      out += curve(s, now(*s.entry), x, y, false);
    }
    if (s.entry->max && s.entry->baseline && s.entry->baseline->max) {
      out += curve(s, before(*s.entry->baseline), x, y, true);
    }
  }
  out += legend(items, kLeft, legend_top, kPlotWidth - kLeft - kRight);
  return out + "</svg>" + not_drawn(empty);
}

}  // namespace report
