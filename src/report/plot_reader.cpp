#include "report/plot_reader.hpp"

#include <algorithm>
#include <iterator>
#include <limits>
#include <map>
#include <sstream>
#include <utility>

#include <fmt/format.h>

#include "report/conditions.hpp"
#include "report/kept_fields.hpp"
#include "report/options.hpp"
#include "report/report_file.hpp"
#include "report/text.hpp"
#include "report/timeline.hpp"

namespace report {
namespace {

// What the page shows, by where it sits ("[]" for an item of an array).
constexpr std::string_view kKept[] = {
    "started",
    "counter_frequency",
    "timer_request_kept_when_hidden",
    "interval",
    "samples_per_method",
    "duration",
    "window",
    "sysinfo",
    "sysinfo.nodename",
    "sysinfo.sysname",
    "sysinfo.release",
    "sysinfo.version",
    "sysinfo.machine",
    "sysinfo.cpu_model",
    "priority.process",
    "priority.thread",
    "resolution.current",
    "resolution.coarsest",
    "resolution.finest",
    "resolution.requested",
    "within",
    "within.us",
    "within.choices",
    "within.choices[]",
    "within.choices[].resolution_requested",
    "within.choices[].method",
    "within.choices[].priority",
    "within.choices[].load",
    "within.choices[].cpu",
    "baseline.file",
    "methods[].method",
    "methods[].interval",
    "methods[].resolution_requested",
    "methods[].resolution_granted",
    "methods[].priority",
    "methods[].load",
    "methods[].cpu",
    "methods[].samples",
    "methods[].min",
    "methods[].p50",
    "methods[].p90",
    "methods[].p99",
    "methods[].p999",
    "methods[].max",
    "methods[].avg",
    "methods[].stddev",
    "methods[].early",
    "methods[].cpu_percent",
    "methods[].fallbacks",
    "methods[].histogram",
    "methods[].baseline",
    "methods[].baseline.p50",
    "methods[].baseline.p99",
    "methods[].baseline.p999",
    "methods[].baseline.max",
    "methods[].timeline",
};

// Keeps what the page shows: the few values by where they sit, and the
// histograms and timelines, which can be long, as figures.
class Reader final : public DocumentReader {
 public:
  std::map<std::string, Value> kept;
  // Per entry of `methods`.
  std::vector<std::vector<analysis::Bin>> histograms;
  std::vector<std::vector<PlotWindow>> timelines;

 private:
  void take(const Value& value) override {
    if (at({"methods", "[]", "histogram", "*"})) {
      return bin(value);
    }
    if (at({"methods", "[]", "timeline", "[]", "*"})) {
      return window_figure(value);
    }
    if (at({"methods", "[]", "timeline", "[]"})) {
      timelines.back().emplace_back();
      return object(value);
    }
    if (at({"methods", "[]"})) {
      histograms.emplace_back();
      timelines.emplace_back();
      return object(value);
    }
    std::string where;
    for (const Frame& frame : frames()) {
      where += frame.array ? "[]" : where.empty() ? frame.key : "." + frame.key;
    }
    if (std::find(std::begin(kKept), std::end(kKept), where) != std::end(kKept)) {
      kept[path()] = value;
    }
  }

  // An entry without a method or a histogram is said at once, not after the
  // rest of the file has been read into memory.
  void closing() override {
    if (at({"methods", "[]", "*"})) {
      const std::string entry = fmt::format("methods[{}]", histograms.size() - 1);
      for (const char* key : {"method", "histogram"}) {
        if (!kept.contains(entry + "." + key)) {
          return note(fmt::format("{} has no {}", entry, key));
        }
      }
    }
  }

  void object(const Value& value) {
    if (value.kind != Value::Object) {
      note(fmt::format("{} is {}, not an object", path(), value.describe()));
    }
  }

  // A histogram's bin: a value in μs, above the one before, and a count.
  void bin(const Value& value) {
    std::vector<analysis::Bin>& bins = histograms.back();
    const auto us = decimal(frames().back().key, 0, kMaxFigure);
    if (!us || (!bins.empty() && *us <= bins.back().value)) {
      return note(fmt::format("{} is no μs value above the one before", path()));
    }
    if (const auto count = whole(value, 1, kMaxFigure, false)) {
      bins.push_back({*us, *count});
    }
  }

  void window_figure(const Value& value) {
    PlotWindow& window = timelines.back().back();
    const std::string& name = frames().back().key;
    if (name == "start") {
      // In UTC, as the report writes it: "2026-12-07T03:12:27.123Z".
      window.start_utc_ms = value.kind == Value::String ? utc_ms_of(value.text) : std::nullopt;
      if (!window.start_utc_ms) {
        note(fmt::format("{} is {}, not a time in UTC such as 2026-12-07T03:12:27.123Z", path(),
                         value.kind == Value::String ? fmt::format("\"{}\"", printable(cut_to_columns(value.text, 40)))
                                                     : value.describe()));
      }
      return;
    }
    if (name == "count") {
      if (const auto n = whole(value, 0, kMaxFigure, false)) {
        window.count = *n;
      }
      return;
    }
    for (auto [key, figure] : {std::pair{"p50", &window.p50}, {"p99", &window.p99}, {"max", &window.max}}) {
      if (name == key) {
        if (const auto us = whole(value, 0, kMaxFigure, true); us && value.kind != Value::Null) {
          *figure = *us;
        }
      }
    }
  }
};

// "normal, load 4, CPU 1": what sets the entry's condition apart from the
// default (raised, no load, any CPU); reports before conditions name none.
std::string condition_of(const Fields& f, const std::string& at) {
  std::string text;
  const auto add = [&text](const std::string& part) { text += (text.empty() ? "" : ", ") + part; };
  if (const auto priority = f.text(at + "priority", Optional); priority && *priority != "raised") {
    if (*priority != "normal") {
      throw Bad{fmt::format("{}priority is \"{}\", not \"raised\" or \"normal\"", at,
                            printable(cut_to_columns(*priority, 40)))};
    }
    add(*priority);
  }
  if (const auto load = f.whole(at + "load", 0, kMaxLoad, Optional); load && *load > 0) {
    add(fmt::format("load {}", *load));
  }
  if (const auto cpu = f.whole(at + "cpu", 0, kMaxCpu, Optional | NullToo)) {
    add(fmt::format("CPU {}", *cpu));
  }
  return text;
}

void read_facts(const Fields& f, PlotReport& p) {
  p.started = f.text("started", Optional).value_or("");
  f.checked("sysinfo", Optional, Value::Object, "an object");
  for (auto [path, field] : {std::pair{"sysinfo.nodename", &PlotReport::host},
                             {"sysinfo.sysname", &PlotReport::sysname},
                             {"sysinfo.release", &PlotReport::release},
                             {"sysinfo.version", &PlotReport::os_version},
                             {"sysinfo.machine", &PlotReport::machine},
                             {"sysinfo.cpu_model", &PlotReport::cpu_model}}) {
    p.*field = f.text(path, NullToo).value_or("");
  }
  p.counter_frequency = f.whole("counter_frequency", 0, kMaxFigure, Optional);
  p.process_priority = f.flag("priority.process", Optional);
  p.thread_priority = f.flag("priority.thread", Optional);
  p.timer_request_kept = f.flag("timer_request_kept_when_hidden", NullToo);
  p.interval_us = f.whole("interval", 1, kMaxMicroseconds, Optional);
  // Null for a run of --duration, which counts seconds instead.
  p.samples_per_method = f.whole("samples_per_method", 0, kMaxFigure, NullToo);
  p.duration_s = f.whole("duration", 1, kMaxFigure, NullToo);
  p.window_s = f.whole("window", 1, kMaxFigure, NullToo);
  p.resolution_current = f.whole("resolution.current", 0, kMaxFigure, NullToo);
  p.resolution_coarsest = f.whole("resolution.coarsest", 0, kMaxFigure, NullToo);
  p.resolution_finest = f.whole("resolution.finest", 0, kMaxFigure, NullToo);
  if (f.checked("within", Optional, Value::Object, "an object")) {
    p.within_us = f.whole("within.us", 0, kMaxMicroseconds, Needed);
    f.checked("within.choices", Optional, Value::Array, "an array");
    for (std::size_t j = 0; f.checked(fmt::format("within.choices[{}]", j), Optional, Value::Object, "an object");
         ++j) {
      const std::string at = fmt::format("within.choices[{}].", j);
      p.choices.push_back({f.whole(at + "resolution_requested", 0, kMaxMicroseconds, NullToo),
                           f.text(at + "method", NullToo), condition_of(f, at)});
    }
  }
  p.baseline_file = f.text("baseline.file", Optional);
}

PlotEntry read_entry(const Fields& f, Reader& reader, std::size_t i, int file_version) {
  const std::string at = fmt::format("methods[{}].", i);
  PlotEntry e;
  e.method = *f.text(at + "method", Needed);
  // Version 1 measured waits of 1 ms, at one resolution for all.
  e.interval_us = file_version == 1 ? 1000 : *f.whole(at + "interval", 1, kMaxMicroseconds, Needed);
  e.resolution_requested = file_version == 1
                               ? f.whole("resolution.requested", 0, kMaxMicroseconds, NullToo)
                               : f.whole(at + "resolution_requested", 0, kMaxMicroseconds, Needed | NullToo);
  e.resolution_granted = f.whole(at + "resolution_granted", 0, kMaxFigure, NullToo);
  e.condition = condition_of(f, at);
  e.samples = *f.whole(at + "samples", 0, kMaxFigure, Needed);
  e.min = f.whole(at + "min", 0, kMaxFigure, NullToo);
  for (auto [key, figure] :
       {std::pair{"p50", &e.p50}, {"p90", &e.p90}, {"p99", &e.p99}, {"p999", &e.p999}, {"max", &e.max}}) {
    *figure = f.whole(at + key, 0, kMaxFigure, Needed | NullToo);
  }
  e.avg = f.number(at + "avg", std::numeric_limits<double>::max(), NullToo);
  e.stddev = f.number(at + "stddev", std::numeric_limits<double>::max(), NullToo);
  e.cpu_percent = f.number(at + "cpu_percent", 100, NullToo);
  e.early = f.whole(at + "early", 0, kMaxFigure, Optional);
  e.fallbacks = f.whole(at + "fallbacks", 0, kMaxFigure, Optional);
  f.checked(at + "histogram", Needed, Value::Object, "an object");
  e.histogram = std::move(reader.histograms[i]);
  std::uint64_t counted = 0;
  for (const analysis::Bin& bin : e.histogram) {
    counted = bin.count > kMaxFigure - counted ? kMaxFigure : counted + bin.count;
  }
  if (counted != e.samples) {
    throw Bad{fmt::format("{}histogram counts {} samples, not the {} of samples", at, counted, e.samples)};
  }
  e.p9999 = analysis::nearest_rank_of_bins(e.histogram, 9999, 10000);
  if (f.checked(at + "baseline", NullToo, Value::Object, "an object")) {
    PlotBefore& before = e.baseline.emplace();
    for (auto [key, figure] :
         {std::pair{"p50", &before.p50}, {"p99", &before.p99}, {"p999", &before.p999}, {"max", &before.max}}) {
      *figure = f.whole(at + "baseline." + key, 0, kMaxFigure, NullToo);
    }
  }
  f.checked(at + "timeline", Optional, Value::Array, "an array");
  e.timeline = std::move(reader.timelines[i]);
  for (std::size_t w = 0; w < e.timeline.size(); ++w) {
    PlotWindow& window = e.timeline[w];
    if (!window.start_utc_ms) {
      throw Bad{fmt::format("{}timeline[{}] has no start", at, w)};
    }
    // From the entry's first window, in order.
    const std::int64_t first = *e.timeline.front().start_utc_ms;
    if (*window.start_utc_ms < first || (w > 0 && *window.start_utc_ms < *e.timeline[w - 1].start_utc_ms)) {
      throw Bad{fmt::format("{}timeline[{}].start is before the window before it", at, w)};
    }
    window.start_us = static_cast<std::uint64_t>(*window.start_utc_ms - first) * 1000U;
  }
  return e;
}

PlotReport parse(std::streambuf& stream) {
  Reader reader;
  PlotReport report;
  read_report_into(report, stream, reader, "--plot");
  const Fields fields(reader.kept);
  read_facts(fields, report);
  for (std::size_t i = 0; i < reader.histograms.size(); ++i) {
    report.entries.push_back(read_entry(fields, reader, i, report.file_version));
  }
  return report;
}

}  // namespace

std::variant<PlotReport, std::string> parse_plot(std::string_view json) {
  std::stringbuf stream{std::string(json)};
  return parse_report_as(stream, parse);
}

std::variant<PlotReport, std::string> read_plot(const std::string& file) {
  return read_report_as(file, "--plot", parse);
}

}  // namespace report
