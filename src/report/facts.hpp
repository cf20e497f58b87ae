#pragma once

// What a report measured: one data model, which every output draws from.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/latency_summary.hpp"
#include "measure/conditions.hpp"
#include "measure/placement.hpp"
#include "measure/process.hpp"
#include "measure/waits.hpp"
#include "report/baseline.hpp"
#include "report/spikes.hpp"
#include "report/timeline.hpp"

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
  // Its windows in order: one, the whole run, without --duration.
  std::vector<WindowFigures> timeline;
  // Its waits longer than the interval by more than --spike.
  std::uint64_t spikes = 0;
  // The summary is the bounded histogram's (a run of --duration), not that
  // of waits kept one by one.
  bool from_histogram = false;
  // Waits that did not begin and end on the same CPU (or, kept to one, on
  // that one); nothing where the system would not say.
  std::optional<std::uint64_t> migrations;
};

// The methods measured in one condition: a timer resolution, a priority, a
// load and a CPU.
struct ConditionBlock {
  // --resolution's value for this block (nothing without the option), and
  // what was in effect once measuring began (nothing when refused).
  std::optional<std::uint32_t> requested_us;
  std::optional<std::uint32_t> granted_us;
  measure::Priority priority = measure::Priority::Raised;
  // Raised: whether the system granted the process's and the thread's
  // priority in every phase of it; nothing where none was asked for, or no
  // phase of it ran.
  std::optional<bool> process_priority;
  std::optional<bool> thread_priority;
  // Load threads, and the share of their time they were on a CPU (nothing
  // without a load, or where the system will not say).
  std::uint32_t load = 0;
  std::optional<double> load_cpu_percent;
  // The CPU the measuring thread was kept to, and its kind where the system
  // tells kinds apart.
  std::optional<std::uint32_t> cpu;
  std::optional<measure::CpuKind> cpu_kind;
  std::vector<MethodReport> methods;
};

struct ReportFacts {
  measure::SystemInfo system;
  // The host's name (empty where the system will not say), and when
  // measuring began, in UTC: "2026-12-06T21:13:44Z".
  std::string host;
  std::string started;
  std::int64_t counter_frequency = 0;
  // Whether the system granted the raised priorities in every phase that
  // asked for them (false where none did).
  bool process_priority = false;
  bool thread_priority = false;
  // The CPUs the process may use, where the load threads run.
  std::vector<std::uint32_t> usable_cpus;
  measure::TimerRequestKept timer_request_kept = measure::TimerRequestKept::NotApplicable;
  // The resolution in effect for the measuring thread as measuring began
  // (what the interface shows as Current); empty when the system would not say.
  std::optional<measure::TimerResolution> resolution;
  std::uint64_t interval_us = 1000;
  // The system's sleep takes whole milliseconds (Windows).
  bool sleep_whole_milliseconds = false;
  std::size_t samples_per_method = 0;
  bool interrupted = false;
  // Per resolution in turn, each condition's block.
  std::vector<ConditionBlock> blocks;
  // --within, when given.
  std::optional<std::uint64_t> within_us;
  // --compare's, when given.
  std::optional<Baseline> baseline;
  // --duration and the windows' length; nothing for a run of --samples.
  std::optional<std::chrono::seconds> duration, window;
  // The report so far of a run that goes on: --output is rewritten with one
  // after every window.
  bool partial = false;
  // With --spike.
  std::optional<SpikeFacts> spikes;
};

// The report's document version: 2 since one method may have an entry per
// timer resolution, and each entry carries its interval and resolution.
inline constexpr int kReportFileVersion = 2;

}  // namespace report
