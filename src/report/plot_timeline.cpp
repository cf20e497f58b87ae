// How the waits went over the run: each window's p99 and maximum.
#include <algorithm>

#include <fmt/format.h>

#include "report/plots.hpp"

namespace report {
namespace {

// A window figure's line: its values (μs) in a data- attribute.
std::string figure_line(const Series& s, const Axis& x, const Axis& y, const char* name, bool thin) {
  std::vector<std::pair<double, double>> points;
  std::string values;
  for (const PlotWindow& w : s.entry->timeline) {
    const auto& figure = std::string_view(name) == "p99" ? w.p99 : w.max;
    if (figure) {
      points.emplace_back(x.at(static_cast<double>(w.start_us) / 1e6), y.at(lateness(*figure, *s.entry)));
      values += fmt::format("{}{}", values.empty() ? "" : " ", *figure);
    }
  }
  return fmt::format(R"(<g data-figure="{}" data-values="{}">)", name, values) +
         polyline(points, s.style, thin ? 1 : 2, thin ? "1 2" : s.style.dash) + "</g>";
}

}  // namespace

std::string timeline_plot(const std::vector<Series>& series) {
  std::vector<const Series*> drawn;
  double highest = 0, end = 0;
  for (const Series& s : series) {
    // One window is the whole run: there is no course to draw.
    if (s.entry->timeline.size() < 2) {
      continue;
    }
    drawn.push_back(&s);
    for (const PlotWindow& w : s.entry->timeline) {
      end = std::max(end, static_cast<double>(w.start_us) / 1e6);
      for (const auto& figure : {w.p99, w.max}) {
        highest = figure ? std::max(highest, lateness(*figure, *s.entry)) : highest;
      }
    }
  }
  if (drawn.empty()) {
    return "";
  }
  std::vector<LegendItem> items;
  for (const Series* s : drawn) {
    items.push_back({s->label, s->style});
  }
  items.push_back({"dotted: the window's maximum", {"#555555", "1 2", 0}, false});
  const Axis x{0, std::max(end, 1.0), Scale::Linear, kLeft, kPlotWidth - kRight};
  const Axis y{0, lateness_top(highest), Scale::Lateness, kTop + kAreaHeight, kTop};
  const double legend_top = y.from + 44;
  std::string out = svg_open("timeline", kPlotWidth, legend_top + legend_height(items.size()) + 6,
                             "each window's p99 and maximum lateness over the run");
  out += axes(x, linear_ticks(0, x.hi, 6, " s"), "time since measuring began (s)", y, lateness_ticks(y.hi),
              "lateness (μs over the interval)");
  for (const Series* s : drawn) {
    out += fmt::format(R"(<g {} data-windows="{}">)", series_attributes(*s), s->entry->timeline.size());
    out += title(fmt::format("{}: p99 and maximum of {} windows", s->label, s->entry->timeline.size()));
    out += figure_line(*s, x, y, "p99", false) + figure_line(*s, x, y, "max", true) + "</g>";
  }
  out += legend(items, kLeft, legend_top, kPlotWidth - kLeft - kRight);
  return out + "</svg>";
}

}  // namespace report
