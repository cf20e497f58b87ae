#pragma once

// What the page's plots are drawn with: text made safe, axes and their ticks,
// the look of each series, markers, lines and legends, as inline SVG that
// also parses as XML.
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace report {

// `text` for HTML or XML, in an element or an attribute: & < > " ' as
// references; control characters and bytes that are not UTF-8 as visible
// escapes ("\x07"), as the text report shows them; U+FFFE and U+FFFF, which
// XML refuses, too. Every text from a file, a host or an option goes
// through here.
std::string html_escaped(std::string_view text);

// A number as the JSON writes it, for a data- attribute: whole numbers
// without a point, others in their shortest exact form.
std::string figure_text(double value);

// How a series looks: a colour-blind-safe colour (Okabe and Ito's), a dash
// pattern and a marker shape, each telling it apart in greyscale as well.
struct SeriesStyle {
  const char* colour;
  const char* dash;  // stroke-dasharray; empty for a solid line
  int shape;         // 0 circle, 1 square, 2 triangle, 3 diamond, 4 triangle down
};
SeriesStyle series_style(std::size_t index);
// The earlier report's lines, beside the new: dashed, thin, hollow markers.
inline constexpr const char* kBaselineDash = "4 4";

// An axis from data to pixels: linear; logarithmic, below `lo` drawn at
// `lo`; or for lateness logarithmic as log10(1 + μs), so that on time (0) has
// a place, below 0 drawn at 0.
enum class Scale { Linear, Log, Lateness };
struct Axis {
  double lo = 0, hi = 1;
  Scale scale = Scale::Linear;
  double from = 0, to = 1;  // pixels at lo and hi
  double at(double value) const;
};

struct Tick {
  double value;
  std::string label;
};
// 0, 1, 2, 5, 10, 20, 50 ... up to `hi`, labelled at each power of ten (and
// at 2 and 5 where there are few).
std::vector<Tick> lateness_ticks(double hi);
// The top of a lateness axis for values up to `highest`: the tick above.
double lateness_top(double highest);
// 1, 2 and 5 times each power of ten from `lo` to `hi`, labels with `unit`.
std::vector<Tick> log_ticks(double lo, double hi, std::string_view unit);
// The power of ten, or twice or five times it, at or below `value`.
double round_below(double value);
// About `count` ticks at round steps from `lo` to `hi`, labels with `unit`.
std::vector<Tick> linear_ticks(double lo, double hi, int count, std::string_view unit);

// The plot area's frame, grid lines, labelled ticks and the axes' titles.
std::string axes(const Axis& x, const std::vector<Tick>& x_ticks, std::string_view x_title, const Axis& y,
                 const std::vector<Tick>& y_ticks, std::string_view y_title);

// A marker of `style`'s shape; hollow for the earlier report.
std::string marker(const SeriesStyle& style, double x, double y, bool hollow = false);
// A line through `points` (pixels) in `style`, its own dash or `dash`.
std::string polyline(const std::vector<std::pair<double, double>>& points, const SeriesStyle& style, double width,
                     std::string_view dash);
// <title>, the tooltip that gives the exact figures.
std::string title(std::string_view text);
// Text at a place, escaped; `anchor` is start, middle or end.
std::string label(double x, double y, std::string_view text, std::string_view anchor = "start",
                  std::string_view css_class = "");

struct LegendItem {
  std::string label;
  SeriesStyle style;
  bool earlier = false;  // drawn as the earlier report's line
};
// Two columns of items from (x, y), in `width`; how tall that is.
std::string legend(const std::vector<LegendItem>& items, double x, double y, double width);
double legend_height(std::size_t items);

// An <svg> of `width` × `height` whose data-plot is `name`, described by
// `what` for those who cannot see it.
std::string svg_open(std::string_view name, double width, double height, std::string_view what);

}  // namespace report
