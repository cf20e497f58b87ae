#pragma once

// The report as OpenMetrics text, for a node exporter's textfile collector:
// a fleet's monitoring sees how every machine waits, and with --compare and
// --within what the report concluded.
#include <string>

#include "report/facts.hpp"
#include "report/findings.hpp"

namespace report {

std::string openmetrics_report(const ReportFacts& facts, const Findings& findings);

}  // namespace report
