// Which wait: what each costs in CPU against how late its p99 is.
#include <algorithm>
#include <set>

#include <fmt/format.h>

#include "report/plots.hpp"

namespace report {

std::string tradeoff_plot(const std::vector<Series>& series) {
  std::vector<const Series*> placed;
  std::vector<std::string> unplaced;
  std::set<std::uint64_t> bands;
  double highest = 0, cheapest = 0.1;
  for (const Series& s : series) {
    const PlotEntry& e = *s.entry;
    if (e.p99 && e.cpu_percent) {
      placed.push_back(&s);
      highest = std::max(highest, lateness(*e.p99, e));
      cheapest = *e.cpu_percent > 0 ? std::min(cheapest, round_below(*e.cpu_percent)) : cheapest;
    } else {
      unplaced.push_back(s.label + (e.p99 ? ", its CPU share unknown" : ", no samples"));
    }
    if (s.report->within_us) {
      bands.insert(*s.report->within_us);
      highest = std::max(highest, static_cast<double>(*s.report->within_us));
    }
  }
  std::vector<LegendItem> items;
  for (const Series* s : placed) {
    items.push_back({s->label, s->style});
  }
  // CPU shares span decades, from a sleep's reads of the counter to a spin.
  const Axis x{std::max(cheapest, 0.001), 100, Scale::Log, kLeft, kPlotWidth - kRight};
  const Axis y{0, lateness_top(highest), Scale::Lateness, kTop + kAreaHeight, kTop};
  const double legend_top = y.from + 44;
  std::string out = svg_open("tradeoff", kPlotWidth, legend_top + legend_height(items.size()) + 6,
                             "p99 lateness against CPU share, one point per entry");
  out += axes(x, log_ticks(x.lo, x.hi, " %"), "CPU share: time on a CPU over the time waited (%, logarithmic)", y,
              lateness_ticks(y.hi), "p99 lateness (μs over the interval)");
  for (const std::uint64_t within : bands) {
    const double top = y.at(static_cast<double>(within));
    out += fmt::format(R"(<g class="band" data-within="{}"><rect x="{}" y="{:.1f}" width="{}" height="{:.1f}" )"
                       R"(fill="#009E73" fill-opacity="0.13"/>)",
                       within, x.from, top, x.to - x.from, std::max(1.0, y.from - top));
    // At its foot on the left, where only a method both free and on time would be.
    out += label(x.from + 4, y.from - 5, fmt::format("within {} μs of the interval", within)) + "</g>";
  }
  for (const Series* s : placed) {
    const PlotEntry& e = *s->entry;
    const double cx = x.at(*e.cpu_percent), cy = y.at(lateness(*e.p99, e));
    out += fmt::format(R"(<g {} data-p99="{}" data-interval="{}" data-cpu="{}"{}>)", series_attributes(*s), *e.p99,
                       e.interval_us, figure_text(*e.cpu_percent), s->chosen ? R"( data-chosen="true")" : "");
    out += title(fmt::format("{}: p99 {} μs, {} μs over the interval of {} μs; CPU {} %{}", s->label, *e.p99,
                             figure_text(lateness(*e.p99, e)), e.interval_us, figure_text(*e.cpu_percent),
                             s->chosen ? "; the cheapest within the band" : ""));
    out += marker(s->style, cx, cy);
    if (s->chosen) {
      out += fmt::format(R"(<circle cx="{:.1f}" cy="{:.1f}" r="10" fill="none" stroke="#000" stroke-width="1.5"/>)", cx,
                         cy);
      out += label(cx + (cx > x.to - 150 ? -14 : 14), cy - 8, "cheapest within", cx > x.to - 150 ? "end" : "start");
    }
    out += "</g>";
  }
  out += legend(items, kLeft, legend_top, kPlotWidth - kLeft - kRight);
  return out + "</svg>" + not_drawn(unplaced);
}

}  // namespace report
