#include "app/report_output.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace app {
namespace {

using Json = nlohmann::ordered_json;

const char* granted(bool yes) { return yes ? "granted" : "refused"; }

std::string or_unknown(const std::string& text) { return text.empty() ? "unknown" : text; }

std::string throttling_text(measure::TimerRequestKept kept) {
  switch (kept) {
    case measure::TimerRequestKept::Accepted:
      return "opt-out accepted: the timer request holds while hidden";
    case measure::TimerRequestKept::Refused:
      return "opt-out refused: hidden, the timer request may be set aside";
    case measure::TimerRequestKept::NotApplicable:
      break;
  }
  return "not applicable on this system";
}

constexpr std::size_t kColumns = 11;
using Row = std::array<std::string, kColumns>;

Row table_row(const MethodReport& method) {
  const analysis::LatencySummary& s = method.summary;
  if (s.count == 0) {
    return {method.name, "0", "-", "-", "-", "-", "-", "-", "-", "-", "0"};
  }
  return {method.name,
          std::to_string(s.count),
          std::to_string(s.min),
          std::to_string(s.p50),
          std::to_string(s.p90),
          std::to_string(s.p99),
          std::to_string(s.p999),
          std::to_string(s.max),
          fmt::format("{:.1f}", s.mean),
          fmt::format("{:.1f}", s.stddev),
          std::to_string(s.early)};
}

// One row per method, the name left-aligned and the numbers right-aligned;
// the columns close up to one space where two would pass 80 columns.
void write_table(const std::vector<MethodReport>& methods, std::ostream& out) {
  std::vector<Row> rows{{"Method", "Samples", "Min", "p50", "p90", "p99", "p99.9", "Max", "Mean", "StdDev", "Early"}};
  for (const MethodReport& method : methods) {
    rows.push_back(table_row(method));
  }
  std::array<std::size_t, kColumns> widths{};
  for (const Row& row : rows) {
    for (std::size_t i = 0; i < kColumns; ++i) {
      widths[i] = std::max(widths[i], row[i].size());
    }
  }
  const std::size_t gap = std::accumulate(widths.begin(), widths.end(), 2 * (kColumns - 1)) <= 80 ? 2 : 1;
  for (const Row& row : rows) {
    std::string line = fmt::format("{:<{}}", row[0], widths[0]);
    for (std::size_t i = 1; i < kColumns; ++i) {
      line += fmt::format("{:>{}}", row[i], widths[i] + gap);
    }
    out << line << '\n';
  }
}

template <typename T>
Json or_null(const std::optional<T>& value) {
  return value ? Json(*value) : Json(nullptr);
}

Json method_json(const MethodReport& method) {
  const analysis::LatencySummary& s = method.summary;
  const bool any = s.count > 0;
  auto number = [any](auto value) { return any ? Json(value) : Json(nullptr); };
  // Three decimals are below anything a microsecond counter can tell.
  auto rounded = [](double value) { return std::round(value * 1000.0) / 1000.0; };
  Json histogram = Json::object();
  for (const auto& [us, count] : s.histogram) {
    histogram[std::to_string(us)] = count;
  }
  return Json{{"method", method.name},
              {"samples", s.count},
              {"min", number(s.min)},
              {"p50", number(s.p50)},
              {"p90", number(s.p90)},
              {"p99", number(s.p99)},
              {"p999", number(s.p999)},
              {"max", number(s.max)},
              {"avg", number(rounded(s.mean))},
              {"stddev", number(rounded(s.stddev))},
              {"early", s.early},
              {"histogram", std::move(histogram)}};
}

}  // namespace

void write_text_report(const ReportFacts& facts, std::ostream& out) {
  auto fact = [&out](const char* label, const std::string& text) { out << fmt::format("{:<12}{}\n", label, text); };
  out << "Quorvane " << QUORVANE_VERSION << " report: waits of 1 ms, times in μs\n";
  const measure::SystemInfo& system = facts.system;
  fact("System", fmt::format("{} {} {}", or_unknown(system.sysname), system.release, system.machine));
  if (!system.version.empty()) {
    fact("", system.version);
  }
  fact("CPU", or_unknown(system.cpu_model));
  fact("Counter", fmt::format("{} Hz", facts.counter_frequency));
  fact("Priority",
       fmt::format("process {}, thread {}", granted(facts.process_priority), granted(facts.thread_priority)));
  if (const auto& r = facts.resolution) {
    fact("Resolution", fmt::format("current {}, coarsest {}, finest {}", r->current_us, r->coarsest_us, r->finest_us));
  } else {
    fact("Resolution", "unknown");
  }
  if (facts.requested_us) {
    fact("Requested", fmt::format("{}, granted {}", *facts.requested_us,
                                  facts.granted_us ? std::to_string(*facts.granted_us) : "none (refused)"));
  }
  fact("Throttling", throttling_text(facts.timer_request_kept));
  fact("Samples", fmt::format("{} per method, one step of each in turn", facts.samples_per_method));
  if (facts.interrupted) {
    fact("Interrupted", "stopped by a signal; the table holds what was measured");
  }
  out << '\n';
  write_table(facts.methods, out);
  out << "\nPercentiles by nearest rank; Early: waits shorter than the 1000 μs asked for.\n";
}

std::string json_report(const ReportFacts& facts) {
  const measure::SystemInfo& system = facts.system;
  const auto& r = facts.resolution;
  Json methods = Json::array();
  for (const MethodReport& method : facts.methods) {
    methods.push_back(method_json(method));
  }
  const Json kept = facts.timer_request_kept == measure::TimerRequestKept::NotApplicable
                        ? Json(nullptr)
                        : Json(facts.timer_request_kept == measure::TimerRequestKept::Accepted);
  const Json document{
      {"file_version", 1},
      {"program", "Quorvane"},
      {"version", QUORVANE_VERSION},
      {"sysinfo",
       {{"sysname", system.sysname},
        {"release", system.release},
        {"version", system.version},
        {"machine", system.machine},
        {"cpu_model", system.cpu_model.empty() ? Json(nullptr) : Json(system.cpu_model)}}},
      {"counter_frequency", facts.counter_frequency},
      {"priority", {{"process", facts.process_priority}, {"thread", facts.thread_priority}}},
      {"timer_request_kept_when_hidden", kept},
      {"resolution",
       {{"current", r ? Json(r->current_us) : Json(nullptr)},
        {"coarsest", r ? Json(r->coarsest_us) : Json(nullptr)},
        {"finest", r ? Json(r->finest_us) : Json(nullptr)},
        {"requested", or_null(facts.requested_us)},
        {"granted", or_null(facts.granted_us)}}},
      {"samples_per_method", facts.samples_per_method},
      {"interrupted", facts.interrupted},
      {"methods", std::move(methods)},
  };
  // A system string that is not UTF-8 gets replacement characters rather
  // than costing the whole document.
  return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace app
