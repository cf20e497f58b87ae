#pragma once

// What a report measured: one data model, which every output draws from.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/latency_summary.hpp"
#include "measure/process.hpp"
#include "measure/waits.hpp"
#include "report/baseline.hpp"

namespace report {

struct MethodReport {
  std::string name;  // as shown: "Sleep"
  analysis::LatencySummary summary;
  // The share of the waits' time the thread spent on a CPU; nothing where
  // the system will not say.
  std::optional<double> cpu_percent;
  // Waits made by the method's fallback, and what that is ("Sleep").
  std::uint64_t fallbacks = 0;
  std::string fallback;
};

// The methods measured under one timer resolution.
struct ResolutionBlock {
  // --resolution's value for this block (nothing without the option), and
  // what was in effect once measuring began (nothing when refused).
  std::optional<std::uint32_t> requested_us;
  std::optional<std::uint32_t> granted_us;
  std::vector<MethodReport> methods;
};

struct ReportFacts {
  measure::SystemInfo system;
  // The host's name (empty where the system will not say), and when
  // measuring began, in UTC: "2026-12-06T21:13:44Z".
  std::string host;
  std::string started;
  std::int64_t counter_frequency = 0;
  bool process_priority = false;
  bool thread_priority = false;
  measure::TimerRequestKept timer_request_kept = measure::TimerRequestKept::NotApplicable;
  // The resolution in effect for the measuring thread as measuring began
  // (what the interface shows as Current); empty when the system would not say.
  std::optional<measure::TimerResolution> resolution;
  std::uint64_t interval_us = 1000;
  // The system's sleep takes whole milliseconds (Windows).
  bool sleep_whole_milliseconds = false;
  std::size_t samples_per_method = 0;
  bool interrupted = false;
  std::vector<ResolutionBlock> blocks;
  // --within, when given.
  std::optional<std::uint64_t> within_us;
  // --compare's, when given.
  std::optional<Baseline> baseline;
};

// The report's document version: 2 since one method may have an entry per
// timer resolution, and each entry carries its interval and resolution.
inline constexpr int kReportFileVersion = 2;

}  // namespace report
