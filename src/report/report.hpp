#pragma once

// The headless report: from the options read to the exit status.
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "measure/platform.hpp"
#include "report/options.hpp"

namespace report {

// Nothing when the command line asks for no report (the interface runs).
// Otherwise the exit status: 2 for an argument that is no option, or a
// baseline that cannot be compared with, with one line on `err` and nothing
// measured; else the report is measured on `platform` and written to `out`:
// 0, 1 when it could not be written, 3 when a p99 is above --max-p99, rose
// beyond --max-regression, or --max-regression found nothing to compare.
std::optional<int> run_report_command(const ReportOptions& options, const std::vector<std::string>& extras,
                                      std::ostream& out, std::ostream& err, const measure::Platform& platform);

}  // namespace report
