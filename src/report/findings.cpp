#include "report/findings.hpp"

#include <cstdint>

#include "analysis/latency_summary.hpp"

namespace report {

Findings conclude(const ReportFacts& facts) {
  Findings findings;
  if (facts.baseline) {
    findings.comparison = compare(facts, *facts.baseline);
  }
  for (const ConditionBlock& block : facts.blocks) {
    auto& entries = findings.entries.emplace_back();
    for (const MethodReport& method : block.methods) {
      entries.push_back(entry_findings(method));
    }
  }
  if (facts.within_us) {
    auto& choices = findings.choices.emplace();
    for (const ConditionBlock& block : facts.blocks) {
      std::vector<analysis::Candidate> candidates;
      for (const MethodReport& method : block.methods) {
        // A method with no samples has no p99 to be within anything.
        candidates.push_back({method.summary.count > 0 ? method.summary.p99 : UINT64_MAX, method.cpu_percent});
      }
      choices.push_back(analysis::cheapest_within(candidates, facts.interval_us, *facts.within_us));
    }
  }
  return findings;
}

}  // namespace report
