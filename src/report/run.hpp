#pragma once

// A report's measuring run: the sampling engine at each resolution in turn,
// stop signals and suspension answered, progress shown.
#include <iosfwd>
#include <optional>

#include "measure/platform.hpp"
#include "report/baseline.hpp"
#include "report/facts.hpp"
#include "report/options.hpp"

namespace report {

// Measures as `options` say (its methods given) and gathers what the report
// tells; a stop signal ends the measuring early, marked interrupted.
ReportFacts measure_report(const ReportOptions& options, std::optional<Baseline> baseline, std::ostream& err,
                           const measure::Platform& platform);

}  // namespace report
