#pragma once

// The report for people: the facts, then per resolution a table with a row
// per method, grouped by condition (and with --within, the choices), then
// the comparison.
#include <iosfwd>

#include "report/facts.hpp"
#include "report/findings.hpp"

namespace report {

void write_text_report(const ReportFacts& facts, const Findings& findings, std::ostream& out);

// Its parts: the facts above the tables, `conditions` measured at each
// resolution.
void write_facts(const ReportFacts& facts, std::size_t conditions, std::ostream& out);
// After --compare: the figures before and now, the entries on one
// side only.
void write_comparison(const Baseline& baseline, const Comparison& comparison, std::ostream& out);

}  // namespace report
