#pragma once

// A report's measuring run: the sampling engine at each resolution in turn,
// stop signals and suspension answered, progress shown, a run of --duration
// cut into windows.
#include <functional>
#include <iosfwd>
#include <optional>
#include <vector>

#include "measure/conditions.hpp"
#include "measure/platform.hpp"
#include "report/baseline.hpp"
#include "report/facts.hpp"
#include "report/options.hpp"

namespace report {

// What is done with the report so far after each window of a run that goes
// on; false stops the run (the report could not be written).
using PartialReport = std::function<bool(const ReportFacts& so_far)>;

// Measures as `options` say (its methods given), in each of `conditions`,
// and gathers what the report tells; a stop signal ends the measuring early,
// marked interrupted. With `partial`, a run of --duration hands it the report
// so far after every window but the last. Throws where measuring failed (a
// CPU the measuring thread could not be kept to, a thread the system would
// not start), every thread it started ended.
ReportFacts measure_report(const ReportOptions& options, const std::vector<measure::Condition>& conditions,
                           std::optional<Baseline> baseline, std::ostream& err, const measure::Platform& platform,
                           const PartialReport& partial = {});

}  // namespace report
