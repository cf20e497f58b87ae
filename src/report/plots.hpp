#pragma once

// The page's plots, each drawn from the entries of the reports on it. Every
// figure a plot draws is also in a data- attribute of its series, and in a
// <title> that a pointer shows, as the JSON has it.
#include <cstdint>
#include <string>
#include <vector>

#include "report/plot_data.hpp"
#include "report/svg.hpp"

namespace report {

// An entry as every plot draws it, in the same look everywhere.
struct Series {
  const PlotReport* report = nullptr;
  const PlotEntry* entry = nullptr;
  std::string report_name;  // its host or its file; empty on a page of one report
  // "Sleep", "Sleep at 500 μs"; with several reports after the report's name.
  std::string label;
  SeriesStyle style{};
  bool chosen = false;  // named by --within
};

// How far past the interval a wait of `us` ended, in μs (below 0: early).
inline double lateness(std::uint64_t us, const PlotEntry& entry) {
  return static_cast<double>(us) - static_cast<double>(entry.interval_us);
}

// The plots' common frame, in SVG units (the page scales them).
inline constexpr double kPlotWidth = 640, kLeft = 66, kRight = 16, kTop = 14, kAreaHeight = 250;

// One point per entry: p99 lateness against CPU share, --within's band, its
// choice ringed. Entries without both figures are named below it.
std::string tradeoff_plot(const std::vector<Series>& series);
// Lateness at p50, p90, p99, p99.9, p99.99 and the maximum, a curve per
// entry; with --compare the earlier report's beside it, dashed.
std::string percentile_plot(const std::vector<Series>& series);
// A histogram per entry on a shared lateness axis, counts logarithmic.
std::string histogram_plot(const std::vector<Series>& series);
// Per-window p99 and maximum over the run; empty where no entry has windows.
std::string timeline_plot(const std::vector<Series>& series);

// The data- attributes that name a series: its report and its entry.
std::string series_attributes(const Series& series);
// Below a plot: what it could not draw, and why.
std::string not_drawn(const std::vector<std::string>& what);

}  // namespace report
