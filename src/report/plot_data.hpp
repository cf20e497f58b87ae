#pragma once

// A report as the page draws it. It is read from the report's JSON, the
// run's own as much as a saved one, so that the page says what the JSON says.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/latency_summary.hpp"

namespace report {

// One window of a run's timeline: when it began (μs from the start of the
// entry's first window) and what its waits came to.
struct PlotWindow {
  std::uint64_t start_us = 0;
  // As the report wrote it, in milliseconds since 1970 UTC.
  std::optional<std::int64_t> start_utc_ms;
  std::uint64_t count = 0;
  std::optional<std::uint64_t> p50, p99, max;
};

// The earlier report's figures for an entry, with --compare.
struct PlotBefore {
  std::optional<std::uint64_t> p50, p99, p999, max;
};

// One method at one resolution: an entry of `methods`. Figures in μs, as
// the JSON has them; nothing where it has null.
struct PlotEntry {
  std::string method;
  std::uint64_t interval_us = 1000;
  std::optional<std::uint64_t> resolution_requested, resolution_granted;
  // "normal, load 4, CPU 1"; empty in the default condition.
  std::string condition;
  std::uint64_t samples = 0;
  std::optional<std::uint64_t> min, p50, p90, p99, p999, max;
  // p99.99, from the histogram by nearest rank.
  std::optional<std::uint64_t> p9999;
  std::optional<double> avg, stddev, cpu_percent;
  std::optional<std::uint64_t> early, fallbacks;
  // Samples per value, ascending.
  std::vector<analysis::Bin> histogram;
  std::optional<PlotBefore> baseline;
  std::vector<PlotWindow> timeline;
};

// The method --within named at one resolution and condition.
struct PlotChoice {
  std::optional<std::uint64_t> resolution_requested;
  std::optional<std::string> method;  // nothing: none was within
  std::string condition;              // as PlotEntry's
};

struct PlotReport {
  std::string file;  // as --plot was given it; empty for the run itself
  int file_version = 0;
  std::string version;  // of the Quorvane that wrote it
  std::string started;
  // sysinfo, each empty where not said.
  std::string host, sysname, release, os_version, machine, cpu_model;
  std::optional<std::uint64_t> counter_frequency;
  std::optional<bool> process_priority, thread_priority, timer_request_kept;
  std::optional<std::uint64_t> interval_us, samples_per_method;
  // A run of --duration: its length and its windows', in seconds.
  std::optional<std::uint64_t> duration_s, window_s;
  std::optional<std::uint64_t> resolution_current, resolution_coarsest, resolution_finest;
  bool interrupted = false;
  // The figures so far of a run that went on.
  bool partial = false;
  std::optional<std::uint64_t> within_us;
  std::vector<PlotChoice> choices;
  std::optional<std::string> baseline_file;
  std::vector<PlotEntry> entries;
};

}  // namespace report
