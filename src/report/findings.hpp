#pragma once

// What a report concludes from what it measured: worked out once and handed
// to every output, so that no two forms can disagree.
#include <cstddef>
#include <optional>
#include <vector>

#include "report/comparison.hpp"
#include "report/facts.hpp"

namespace report {

struct Findings {
  // With --compare.
  std::optional<Comparison> comparison;
  // With --within, per block: the method it names (an index into the
  // block's methods), or nothing when none is within.
  std::optional<std::vector<std::optional<std::size_t>>> choices;
};

Findings conclude(const ReportFacts& facts);

}  // namespace report
