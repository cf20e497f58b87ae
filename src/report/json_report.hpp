#pragma once

// The report as one JSON document (doc/report-json.md describes it).
#include <string>

#include "report/facts.hpp"
#include "report/findings.hpp"

namespace report {

// Indented, with a line end.
std::string json_report(const ReportFacts& facts, const Findings& findings);

}  // namespace report
