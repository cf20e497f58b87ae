#pragma once

// What a report concludes from what it measured: worked out once and handed
// to every output, so that no two forms can disagree.
#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "report/comparison.hpp"
#include "report/facts.hpp"

namespace report {

// What a report concludes of one entry's figures; figures are named by their
// JSON keys ("p999").
struct EntryFindings {
  // The percentiles that rest on fewer than ten waits beyond them.
  std::vector<std::string_view> thin;
  // The figures the bounded histogram gives within its error, not exactly.
  std::vector<std::string_view> approximate;
  // Of each window, its thin percentiles ("p50", "p99").
  std::vector<std::vector<std::string_view>> thin_in_window;
  // The window with the longest wait (the first of equals), where there
  // are several.
  std::optional<std::size_t> worst_window;
};

struct Findings {
  // With --compare.
  std::optional<Comparison> comparison;
  // With --within, per block: the method it names (an index into the
  // block's methods), or nothing when none is within.
  std::optional<std::vector<std::optional<std::size_t>>> choices;
  // Per block, per method.
  std::vector<std::vector<EntryFindings>> entries;
};

// What conclude() finds of each entry, and of the spikes.
EntryFindings entry_findings(const MethodReport& method);

Findings conclude(const ReportFacts& facts);

}  // namespace report
