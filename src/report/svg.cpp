#include "report/svg.hpp"

#include <algorithm>
#include <cmath>

#include <fmt/format.h>

#include "report/text.hpp"

namespace report {
namespace {

// Okabe and Ito's palette without its yellow, which white paper swallows.
constexpr const char* kColours[] = {"#0072B2", "#D55E00", "#009E73", "#CC79A7", "#E69F00", "#56B4E9", "#000000"};
constexpr const char* kDashes[] = {"", "9 3", "2 3", "9 3 2 3", "14 3 3 3 3 3"};
constexpr int kShapes = 5;
constexpr double kLegendRow = 18;

std::string px(double value) { return fmt::format("{:.1f}", value); }

// The step of about `count` ticks over `range`: 1, 2 or 5 times a power of ten.
double round_step(double range, int count) {
  const double rough = range / std::max(1, count);
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  for (const double m : {1.0, 2.0, 5.0}) {
    if (m * power >= rough) {
      return m * power;
    }
  }
  return 10 * power;
}

}  // namespace

std::string html_escaped(std::string_view text) {
  const std::string shown = printable(text);
  std::string out;
  out.reserve(shown.size());
  for (std::size_t i = 0; i < shown.size(); ++i) {
    switch (shown[i]) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        if (shown.compare(i, 2, "\xEF\xBF") == 0 && i + 2 < shown.size() &&
            (shown[i + 2] == '\xBE' || shown[i + 2] == '\xBF')) {
          out += shown[i + 2] == '\xBE' ? "\\ufffe" : "\\uffff";
          i += 2;
        } else {
          out += shown[i];
        }
    }
  }
  return out;
}

std::string figure_text(double value) {
  if (std::trunc(value) == value && std::fabs(value) < 9007199254740992.0) {
    return fmt::format("{:.0f}", value);
  }
  return fmt::format("{}", value);
}

SeriesStyle series_style(std::size_t index) {
  return {kColours[index % std::size(kColours)], kDashes[index % std::size(kDashes)],
          static_cast<int>(index % kShapes)};
}

double Axis::at(double value) const {
  const auto scaled = [this](double v) {
    return scale == Scale::Linear ? v
           : scale == Scale::Log  ? std::log10(std::max(lo, v))
                                  : std::log10(1 + std::max(0.0, v));
  };
  const double span = scaled(hi) - scaled(lo);
  return span == 0 ? from : from + (scaled(value) - scaled(lo)) / span * (to - from);
}

std::vector<Tick> lateness_ticks(double hi) {
  std::vector<Tick> ticks{{0, "0"}};
  const int decades = static_cast<int>(std::floor(std::log10(std::max(1.0, hi)))) + 1;
  for (double decade = 1; decade <= hi; decade *= 10) {
    for (const double m : {1.0, 2.0, 5.0}) {
      if (m * decade <= hi) {
        ticks.push_back({m * decade, m == 1 || decades <= 2 ? figure_text(m * decade) : ""});
      }
    }
  }
  return ticks;
}

double lateness_top(double highest) {
  for (double decade = 10;; decade *= 10) {
    for (const double m : {1.0, 2.0, 5.0}) {
      if (m * decade >= highest * 1.05) {
        return m * decade;
      }
    }
  }
}

std::vector<Tick> log_ticks(double lo, double hi, std::string_view unit) {
  std::vector<Tick> ticks;
  for (int power = static_cast<int>(std::floor(std::log10(lo))); std::pow(10.0, power) <= hi; ++power) {
    for (const double m : {1.0, 2.0, 5.0}) {
      const double v = m * std::pow(10.0, power);
      if (v >= lo * (1 - 1e-9) && v <= hi * (1 + 1e-9)) {
        ticks.push_back({v, fmt::format("{}{}", figure_text(v), unit)});
      }
    }
  }
  return ticks;
}

double round_below(double value) {
  const double power = std::pow(10.0, std::floor(std::log10(value)));
  return value >= 5 * power ? 5 * power : value >= 2 * power ? 2 * power : power;
}

std::vector<Tick> linear_ticks(double lo, double hi, int count, std::string_view unit) {
  const double step = round_step(hi - lo, count);
  std::vector<Tick> ticks;
  for (double v = std::ceil(lo / step) * step; v <= hi + step * 1e-9; v += step) {
    ticks.push_back({v, fmt::format("{}{}", figure_text(std::round(v / step) * step), unit)});
  }
  return ticks;
}

std::string axes(const Axis& x, const std::vector<Tick>& x_ticks, std::string_view x_title, const Axis& y,
                 const std::vector<Tick>& y_ticks, std::string_view y_title) {
  std::string out = "<g class=\"axes\">";
  out += fmt::format(R"(<rect x="{}" y="{}" width="{}" height="{}" fill="#fff" stroke="#888"/>)", px(x.from), px(y.to),
                     px(x.to - x.from), px(y.from - y.to));
  for (const Tick& tick : x_ticks) {
    const std::string at = px(x.at(tick.value));
    out += fmt::format(R"(<line x1="{0}" y1="{1}" x2="{0}" y2="{2}" stroke="#e2e2e2"/>)", at, px(y.to), px(y.from));
    out += label(x.at(tick.value), y.from + 15, tick.label, "middle", "tick");
  }
  for (const Tick& tick : y_ticks) {
    const std::string at = px(y.at(tick.value));
    out += fmt::format(R"(<line x1="{1}" y1="{0}" x2="{2}" y2="{0}" stroke="#e2e2e2"/>)", at, px(x.from), px(x.to));
    out += label(x.from - 5, y.at(tick.value) + 4, tick.label, "end", "tick");
  }
  out += label((x.from + x.to) / 2, y.from + 32, x_title, "middle", "axis-title");
  out += fmt::format(
      R"svg(<text class="axis-title" text-anchor="middle" transform="translate(13 {}) rotate(-90)">{}</text>)svg",
      px((y.from + y.to) / 2), html_escaped(y_title));
  return out + "</g>";
}

std::string marker(const SeriesStyle& style, double x, double y, bool hollow) {
  const std::string paint =
      fmt::format(R"(fill="{}" stroke="{}" stroke-width="1.5")", hollow ? "#fff" : style.colour, style.colour);
  switch (style.shape) {
    case 0:
      return fmt::format(R"(<circle cx="{}" cy="{}" r="4.5" {}/>)", px(x), px(y), paint);
    case 1:
      return fmt::format(R"(<rect x="{}" y="{}" width="8" height="8" {}/>)", px(x - 4), px(y - 4), paint);
    case 2:
      return fmt::format(R"(<path d="M{} {}L{} {}L{} {}Z" {}/>)", px(x), px(y - 5), px(x + 5), px(y + 4), px(x - 5),
                         px(y + 4), paint);
    case 3:
      return fmt::format(R"(<path d="M{} {}L{} {}L{} {}L{} {}Z" {}/>)", px(x), px(y - 5.5), px(x + 5.5), px(y), px(x),
                         px(y + 5.5), px(x - 5.5), px(y), paint);
    default:
      return fmt::format(R"(<path d="M{} {}L{} {}L{} {}Z" {}/>)", px(x), px(y + 5), px(x + 5), px(y - 4), px(x - 5),
                         px(y - 4), paint);
  }
}

std::string polyline(const std::vector<std::pair<double, double>>& points, const SeriesStyle& style, double width,
                     std::string_view dash) {
  std::string coordinates;
  for (const auto& [x, y] : points) {
    coordinates += fmt::format("{}{:.1f},{:.1f}", coordinates.empty() ? "" : " ", x, y);
  }
  return fmt::format(R"(<polyline points="{}" fill="none" stroke="{}" stroke-width="{}"{} stroke-linejoin="round"/>)",
                     coordinates, style.colour, width,
                     dash.empty() ? "" : fmt::format(R"( stroke-dasharray="{}")", dash));
}

std::string title(std::string_view text) { return "<title>" + html_escaped(text) + "</title>"; }

std::string label(double x, double y, std::string_view text, std::string_view anchor, std::string_view css_class) {
  return fmt::format(R"(<text x="{}" y="{}"{}{}>{}</text>)", px(x), px(y),
                     anchor == "start" ? "" : fmt::format(R"( text-anchor="{}")", anchor),
                     css_class.empty() ? "" : fmt::format(R"( class="{}")", css_class), html_escaped(text));
}

std::string legend(const std::vector<LegendItem>& items, double x, double y, double width) {
  std::string out = "<g class=\"legend\">";
  const double column = width / 2;
  // About 6.5 px a character at the legend's size.
  const auto fits = static_cast<std::size_t>(std::max(8.0, (column - 44) / 6.5));
  for (std::size_t i = 0; i < items.size(); ++i) {
    const LegendItem& item = items[i];
    const double left = x + static_cast<double>(i % 2) * column;
    const double middle = y + static_cast<double>(i / 2) * kLegendRow + kLegendRow / 2;
    const std::string_view shown = cut_to_columns(item.label, fits);
    out += "<g class=\"legend-item\">";
    out += polyline({{left, middle}, {left + 30, middle}}, item.style, item.earlier ? 1.25 : 2,
                    item.earlier ? kBaselineDash : item.style.dash);
    out += marker(item.style, left + 15, middle, item.earlier);
    out += label(left + 36, middle + 4, shown.size() < item.label.size() ? std::string(shown) + "…" : item.label);
    out += (shown.size() < item.label.size() ? title(item.label) : "") + "</g>";
  }
  return out + "</g>";
}

double legend_height(std::size_t items) { return static_cast<double>((items + 1) / 2) * kLegendRow; }

std::string svg_open(std::string_view name, double width, double height, std::string_view what) {
  return fmt::format(R"(<svg class="plot" data-plot="{}" viewBox="0 0 {} {}" role="img" aria-label="{}">)",
                     html_escaped(name), width, height, html_escaped(what));
}

}  // namespace report
