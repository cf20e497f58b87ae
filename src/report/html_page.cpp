#include "report/html_page.hpp"

#include <functional>
#include <set>

#include <fmt/format.h>

#include "report/plots.hpp"

namespace report {
namespace {

// Readable on a screen of 1280×800 (two plots side by side) and on A4 (one
// above the other), in colour or in grey.
constexpr const char* kStyle = R"(
body { font: 14px/1.4 "DejaVu Sans", "Segoe UI", system-ui, sans-serif; color: #1a1a1a; background: #fff; margin: 14px 22px; }
h1 { font-size: 20px; margin: 0 0 4px; }
h2 { font-size: 15px; margin: 0 0 4px; }
header { display: flex; flex-wrap: wrap; gap: 6px 36px; margin-bottom: 10px; }
header p { max-width: 34em; margin: 0; font-size: 13px; color: #333; }
table { border-collapse: collapse; font-size: 12.5px; font-variant-numeric: tabular-nums; }
.facts th, .facts td { text-align: left; padding: 0 12px 0 0; vertical-align: top; }
.facts th { color: #555; font-weight: normal; }
main { display: grid; grid-template-columns: repeat(auto-fill, minmax(560px, 1fr)); gap: 14px 26px; }
section { break-inside: avoid; }
section.wide { grid-column: 1 / -1; }
svg.plot { display: block; width: 100%; max-width: 760px; height: auto; }
svg text { font-size: 12px; fill: #1a1a1a; }
svg .tick { font-size: 11px; fill: #444; }
.note, .caption { font-size: 12px; color: #444; margin: 2px 0 0; max-width: 60em; }
.figures th, .figures td { padding: 2px 8px; text-align: right; border-bottom: 1px solid #e2e2e2; }
.figures th:first-child, .figures td:first-child { text-align: left; }
footer { margin-top: 14px; font-size: 12px; color: #555; }
@page { size: A4; margin: 12mm; }
@media print {
  body { margin: 0; font-size: 10pt; }
  main { display: block; }
  section { margin-bottom: 6mm; }
  table { font-size: 8pt; }
  * { print-color-adjust: exact; -webkit-print-color-adjust: exact; }
}
)";

std::string or_dash(const std::optional<std::uint64_t>& value) {
  return value ? std::to_string(*value) : std::string("–");
}
std::string or_dash(const std::optional<double>& value) { return value ? figure_text(*value) : std::string("–"); }

std::string entry_label(const PlotEntry& e) {
  const std::string method =
      e.resolution_requested ? fmt::format("{} at {} μs", e.method, *e.resolution_requested) : e.method;
  return e.condition.empty() ? method : method + ", " + e.condition;
}

// Every entry of every report, in order, each its own look.
std::vector<Series> all_series(const std::vector<PlotReport>& reports, const std::vector<std::string>& names) {
  std::vector<Series> series;
  for (std::size_t r = 0; r < reports.size(); ++r) {
    for (const PlotEntry& e : reports[r].entries) {
      Series& s = series.emplace_back();
      s.report = &reports[r], s.entry = &e, s.style = series_style(series.size() - 1);
      s.report_name = reports.size() > 1 ? names[r] : "";
      s.label = reports.size() > 1 ? names[r] + " · " + entry_label(e) : entry_label(e);
      for (const PlotChoice& choice : reports[r].choices) {
        s.chosen = s.chosen || (choice.method == e.method && choice.resolution_requested == e.resolution_requested &&
                                choice.condition == e.condition);
      }
    }
  }
  return series;
}

std::vector<std::string> report_names(const std::vector<PlotReport>& reports) {
  std::set<std::string> hosts;
  for (const PlotReport& r : reports) {
    hosts.insert(r.host);
  }
  const bool by_host = hosts.size() == reports.size() && !hosts.contains("");
  std::vector<std::string> names;
  for (const PlotReport& r : reports) {
    names.push_back(by_host || r.file.empty() ? (r.host.empty() ? "this run" : r.host) : r.file);
  }
  return names;
}

// A row of the facts per report, left out where no report has it.
using Fact = std::function<std::string(const PlotReport&)>;

std::string facts_table(const std::vector<PlotReport>& reports, const std::vector<std::string>& names) {
  const auto granted = [](const std::optional<bool>& g) { return g ? (*g ? "granted" : "refused") : "unknown"; };
  const std::pair<const char*, Fact> rows[] = {
      {"File", [](const PlotReport& r) { return r.file; }},
      {"Host", [](const PlotReport& r) { return r.host; }},
      {"Measured",
       [](const PlotReport& r) {
         return r.started + (r.interrupted ? " (stopped early by a signal)"
                             : r.partial   ? " (the run goes on: the figures so far)"
                                           : "");
       }},
      {"System",
       [](const PlotReport& r) { return fmt::format("{} {} {} {}", r.sysname, r.release, r.machine, r.os_version); }},
      {"CPU", [](const PlotReport& r) { return r.cpu_model; }},
      {"Counter",
       [](const PlotReport& r) { return r.counter_frequency ? fmt::format("{} Hz", *r.counter_frequency) : ""; }},
      {"Priority",
       [&](const PlotReport& r) {
         return r.process_priority
                    ? fmt::format("process {}, thread {}", granted(r.process_priority), granted(r.thread_priority))
                    : "";
       }},
      {"Resolution",
       [](const PlotReport& r) {
         return fmt::format("current {}, coarsest {}, finest {} μs", or_dash(r.resolution_current),
                            or_dash(r.resolution_coarsest), or_dash(r.resolution_finest));
       }},
      {"Kept when hidden",
       [](const PlotReport& r) { return r.timer_request_kept ? (*r.timer_request_kept ? "yes" : "no") : ""; }},
      {"Interval", [](const PlotReport& r) { return r.interval_us ? fmt::format("{} μs", *r.interval_us) : ""; }},
      {"Samples",
       [](const PlotReport& r) {
         return r.samples_per_method ? fmt::format("{} per method", *r.samples_per_method) : "";
       }},
      {"Duration",
       [](const PlotReport& r) {
         return r.duration_s ? fmt::format("{} s per method, in windows of {} s", *r.duration_s, or_dash(r.window_s))
                             : "";
       }},
      {"Methods",
       [](const PlotReport& r) {
         std::string all;
         for (const PlotEntry& e : r.entries) {
           all += (all.empty() ? "" : ", ") + entry_label(e);
         }
         return all;
       }},
      {"Within",
       [](const PlotReport& r) {
         std::string all = r.within_us ? fmt::format("{} μs:", *r.within_us) : "";
         for (const PlotChoice& c : r.choices) {
           all += fmt::format("{} {}{}{}", all.ends_with(':') ? "" : ",", c.method.value_or("none"),
                              c.resolution_requested ? fmt::format(" at {} μs", *c.resolution_requested) : "",
                              c.condition.empty() ? "" : " (" + c.condition + ")");
         }
         return all;
       }},
      {"Compared with", [](const PlotReport& r) { return r.baseline_file.value_or(""); }},
      {"Quorvane",
       [](const PlotReport& r) { return fmt::format("{} (report file_version {})", r.version, r.file_version); }},
  };
  std::string out = "<table class=\"facts\">";
  if (reports.size() > 1) {
    out += "<tr><th></th>";
    for (const std::string& name : names) {
      out += "<th>" + html_escaped(name) + "</th>";
    }
    out += "</tr>";
  }
  for (const auto& [name, fact] : rows) {
    std::string cells;
    bool any = false;
    for (const PlotReport& r : reports) {
      const std::string value = fact(r);
      any = any || !value.empty();
      cells += "<td>" + html_escaped(value.empty() ? "–" : value) + "</td>";
    }
    out += any ? fmt::format("<tr><th>{}</th>{}</tr>", name, cells) : "";
  }
  return out + "</table>";
}

std::string figures_table(const std::vector<Series>& series) {
  std::string out =
      "<table class=\"figures\"><tr><th>Entry</th><th>Samples</th><th>Min</th><th>p50</th><th>p90</th>"
      "<th>p99</th><th>p99.9</th><th>p99.99</th><th>Max</th><th>Mean</th><th>StdDev</th>"
      "<th>Early</th><th>CPU %</th><th>Fallbacks</th></tr>";
  for (const Series& s : series) {
    const PlotEntry& e = *s.entry;
    out += "<tr><td>" + html_escaped(s.label) + "</td>";
    for (const std::string& cell :
         {std::to_string(e.samples), or_dash(e.min), or_dash(e.p50), or_dash(e.p90), or_dash(e.p99), or_dash(e.p999),
          or_dash(e.p9999), or_dash(e.max), or_dash(e.avg), or_dash(e.stddev), or_dash(e.early), or_dash(e.cpu_percent),
          or_dash(e.fallbacks)}) {
      out += "<td>" + cell + "</td>";
    }
    out += "</tr>";
  }
  return out + "</table>";
}

std::string section(const char* id, const char* heading, const std::string& plot, const char* caption) {
  return fmt::format(R"(<section id="{}"><h2>{}</h2>{}<p class="caption">{}</p></section>)", id, heading, plot,
                     caption);
}

}  // namespace

std::string html_page(const std::vector<PlotReport>& reports) {
  const std::vector<std::string> names = report_names(reports);
  const std::vector<Series> series = all_series(reports, names);
  const std::string about = reports.size() == 1 ? names[0] : fmt::format("{} reports", reports.size());
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"/>"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"/>";
  page += "<title>Quorvane: " + html_escaped(about) + "</title><style>" + kStyle + "</style></head><body><header><div>";
  page += "<h1>How precisely " + std::string(reports.size() == 1 ? "this machine waits" : "these runs wait") + "</h1>";
  page +=
      "<p>Lateness is how far past the interval asked for a wait ended, in μs. Every figure is the report's own; "
      "a pointer on a point or bar gives it exactly, and the table at the end has them all.</p></div>";
  page += facts_table(reports, names) + "</header><main>";
  page += section("tradeoff", "Which wait: p99 lateness against CPU share", tradeoff_plot(series),
                  "Lower is more punctual, further left is cheaper; the band is within --within of the interval, "
                  "the ring its cheapest entry. Lateness below 0 is drawn at 0.");
  page += section("percentiles", "Lateness by percentile", percentile_plot(series),
                  "From the median to the longest wait; p99.99 from the histogram by nearest rank.");
  page += section("histograms", "Histograms", histogram_plot(series),
                  "How many waits ended how late, an entry per row, on one axis.");
  if (const std::string timeline = timeline_plot(series); !timeline.empty()) {
    page += section("timeline", "Over the run", timeline, "Each window's p99 (solid) and maximum (dotted).");
  }
  page += R"(<section id="figures" class="wide"><h2>The figures</h2>)" + figures_table(series) +
          "<p class=\"caption\">Waits in μs, percentiles by nearest rank; Early: waits shorter than the "
          "interval.</p></section></main>";
  page += "<footer>Drawn by Quorvane " QUORVANE_VERSION " from the reports' JSON.</footer></body></html>\n";
  return page;
}

}  // namespace report
