// The shape of each method's waits: a histogram per entry, one above the
// other on one lateness axis, so that their spreads compare at a glance.
#include <algorithm>
#include <cmath>

#include <fmt/format.h>

#include "report/plots.hpp"

namespace report {
namespace {

// Bars across the axis, each an equal step of its logarithmic scale.
constexpr std::size_t kBars = 72;
constexpr double kRow = 56, kGap = 12;

// The waits one bar counts, and the shortest and longest of them (μs).
struct Bar {
  std::uint64_t count = 0, from = 0, to = 0;
};

std::vector<Bar> bars(const PlotEntry& e, const Axis& x) {
  std::vector<Bar> out(kBars);
  for (const analysis::Bin& bin : e.histogram) {
    const double step = (x.at(lateness(bin.value, e)) - x.from) / (x.to - x.from) * kBars;
    Bar& bar = out[std::min(kBars - 1, static_cast<std::size_t>(std::max(0.0, step)))];
    bar.from = bar.count == 0 ? bin.value : bar.from;
    bar.to = bin.value;
    bar.count += bin.count;
  }
  return out;
}

}  // namespace

std::string histogram_plot(const std::vector<Series>& series) {
  std::vector<const Series*> drawn;
  std::vector<std::string> empty;
  double highest = 0;
  for (const Series& s : series) {
    if (s.entry->histogram.empty()) {
      empty.push_back(s.label + ", no samples");
      continue;
    }
    drawn.push_back(&s);
    highest = std::max(highest, lateness(s.entry->histogram.back().value, *s.entry));
  }
  const double rows = static_cast<double>(std::max<std::size_t>(1, drawn.size()));
  const double bottom = kTop + rows * kRow + (rows - 1) * kGap;
  const Axis x{0, lateness_top(highest), Scale::Lateness, kLeft, kPlotWidth - kRight};
  std::vector<std::vector<Bar>> all;
  std::uint64_t most = 1;
  for (const Series* s : drawn) {
    all.push_back(bars(*s->entry, x));
    for (const Bar& bar : all.back()) {
      most = std::max(most, bar.count);
    }
  }
  // Counts on a logarithmic scale from half a wait, so that one shows.
  const double span = std::log10(static_cast<double>(most)) + std::log10(2.0);
  std::string out = svg_open("histograms", kPlotWidth, bottom + 44, "a histogram of lateness per entry");
  out += axes(x, lateness_ticks(x.hi), "lateness (μs over the interval)", Axis{0, 1, Scale::Linear, bottom, kTop}, {},
              "waits, logarithmic");
  std::string names = "<g class=\"legend\">";
  for (std::size_t i = 0; i < drawn.size(); ++i) {
    const Series& s = *drawn[i];
    const PlotEntry& e = *s.entry;
    const double top = kTop + static_cast<double>(i) * (kRow + kGap), base = top + kRow;
    out += fmt::format(R"(<g {} data-samples="{}" data-min="{}" data-max="{}">)", series_attributes(s), e.samples,
                       e.histogram.front().value, e.histogram.back().value);
    for (std::size_t k = 0; k < kBars; ++k) {
      const Bar& bar = all[i][k];
      if (bar.count == 0) {
        continue;
      }
      const double height = (std::log10(static_cast<double>(bar.count)) + std::log10(2.0)) / span * (kRow - 16);
      const double left = x.from + static_cast<double>(k) * (x.to - x.from) / kBars;
      out += fmt::format(R"(<rect x="{:.1f}" y="{:.1f}" width="{:.1f}" height="{:.1f}" fill="{}" data-count="{}" )"
                         R"(data-from="{}" data-to="{}">)",
                         left, base - height, (x.to - x.from) / kBars - 0.6, height, s.style.colour, bar.count,
                         bar.from, bar.to);
      out +=
          title(bar.from == bar.to ? fmt::format("{}: {} waits of {} μs", s.label, bar.count, bar.from)
                                   : fmt::format("{}: {} waits of {} to {} μs", s.label, bar.count, bar.from, bar.to)) +
          "</rect>";
    }
    out += fmt::format(R"(<line x1="{}" y1="{:.1f}" x2="{}" y2="{:.1f}" stroke="#888"/>)", x.from, base, x.to, base);
    out +=
        label(x.from - 5, base, "1", "end", "tick") + label(x.from - 5, top + 20, std::to_string(most), "end", "tick");
    out += "</g>";
    names += fmt::format(R"(<rect x="{}" y="{:.1f}" width="10" height="10" fill="{}"/>)", x.from + 6, top + 3,
                         s.style.colour);
    names += label(x.from + 20, top + 12, fmt::format("{}: {} waits", s.label, e.samples));
  }
  return out + names + "</g></svg>" + not_drawn(empty);
}

}  // namespace report
