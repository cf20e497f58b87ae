#pragma once

// The report for people: the facts, then per resolution a table with a row
// per method (and with --within, the choice), then the comparison.
#include <iosfwd>

#include "report/facts.hpp"
#include "report/findings.hpp"

namespace report {

void write_text_report(const ReportFacts& facts, const Findings& findings, std::ostream& out);

}  // namespace report
