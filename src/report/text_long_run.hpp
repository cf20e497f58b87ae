#pragma once

// The parts of the text report that a long run adds: its length and windows,
// the worst window of each method, the spikes.
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

#include "report/facts.hpp"
#include "report/findings.hpp"

namespace report {

// The header's lines for the run's length, what the histogram is exact to,
// and a report still being written: label and text.
std::vector<std::pair<const char*, std::string>> long_run_facts(const ReportFacts& facts);

// Below a table: per method with more than one window, its worst ("Sleep:
// worst minute from 03:12:27 UTC: max 4180 μs, p99 1204 μs.").
void write_worst_windows(const ReportFacts& facts, const ConditionBlock& block,
                         const std::vector<EntryFindings>& entries, std::ostream& out);

// With --spike: how many, and the longest.
void write_spikes(const ReportFacts& facts, std::ostream& out);

}  // namespace report
