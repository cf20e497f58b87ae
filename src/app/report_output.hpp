#pragma once

// What a report says, and its two forms.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "analysis/latency_summary.hpp"
#include "measure/platform.hpp"

namespace app {

struct MethodReport {
  std::string name;  // the display name: "Sleep", "BusyWait", "HighPrecisionSleep"
  analysis::LatencySummary summary;
};

struct ReportFacts {
  measure::SystemInfo system;
  std::int64_t counter_frequency = 0;
  bool process_priority = false;
  bool thread_priority = false;
  measure::TimerRequestKept timer_request_kept = measure::TimerRequestKept::NotApplicable;
  // Before measuring; empty when the system would not say.
  std::optional<measure::TimerResolution> resolution;
  // --resolution, and what was in effect once measuring began (empty when refused).
  std::optional<std::uint32_t> requested_us;
  std::optional<std::uint32_t> granted_us;
  std::size_t samples_per_method = 0;
  bool interrupted = false;
  std::vector<MethodReport> methods;
};

// The report for people: facts, then one table row per method.
void write_text_report(const ReportFacts& facts, std::ostream& out);
// The report as one JSON document, indented, with a line end.
std::string json_report(const ReportFacts& facts);

}  // namespace app
