#pragma once

// A report set beside an earlier one: each entry paired with the baseline's
// of the same method, interval, resolution and condition, worked out once
// per report.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "report/baseline.hpp"
#include "report/facts.hpp"

namespace report {

// "Hybrid (2000 μs, resolution 500 μs, normal, load 4, CPU 1)", the
// method's name made printable; the default condition goes unsaid.
std::string key_label(const EntryKey& key);

// One figure before and now, and how far it moved where both are known.
struct ComparedFigure {
  const char* label;  // as the table shows it: "p99.9"
  const char* key;    // as JSON names it: "p999"
  std::optional<std::uint64_t> before, now;
  std::optional<std::int64_t> change;
};

struct ComparedEntry {
  // Where the entry is in the report: facts.blocks[block].methods[method].
  std::size_t block = 0, method = 0;
  // "Sleep", with a requested resolution "Sleep at 500 μs", and in another
  // condition than the default "Sleep at 500 μs, normal, load 4, CPU 1".
  std::string label;
  // p50, p99, p99.9 and max.
  std::array<ComparedFigure, 4> figures;
  const ComparedFigure& p99() const { return figures[1]; }
};

struct Comparison {
  std::vector<ComparedEntry> compared;
  // Named, not compared.
  std::vector<EntryKey> only_now;
  std::vector<EntryKey> only_before;
  // Whether any entry has a p99 on both sides, and if none has, why.
  bool p99_compared = false;
  std::string why_nothing_compared;

  // The pairing of an entry of the report, or null.
  const ComparedEntry* find(std::size_t block, std::size_t method) const;
};

Comparison compare(const ReportFacts& facts, const Baseline& baseline);

// now − before where both are known, saturated rather than overflowing.
std::optional<std::int64_t> change(std::optional<std::uint64_t> before, std::optional<std::uint64_t> now);

}  // namespace report
