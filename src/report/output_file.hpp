#pragma once

// Where the report goes: standard output, or with --output a file written
// whole, once at the end and, in a run of --duration, after every window.
#include <iosfwd>
#include <optional>
#include <string>

#include "measure/files.hpp"
#include "report/facts.hpp"
#include "report/findings.hpp"
#include "report/options.hpp"
#include "report/run.hpp"

namespace report {

// The report in `format`, as it is written.
std::string render(Format format, const ReportFacts& facts, const Findings& findings);

// Writes the report to `file` (whole, or not at all) or without one to `out`:
// true when it all went out; otherwise false, with the line said on `err`.
bool write_report(Format format, const ReportFacts& facts, const Findings& findings,
                  const std::optional<std::string>& file, measure::Files& files, std::ostream& out, std::ostream& err);

// How the rewrites of a run's file went: whether any was made, and whether
// one failed.
struct Rewrites {
  bool made = false;
  bool failed = false;
};

// What rewrites `file` with the report so far after each window; a failure
// is said on `err`, noted in `rewrites` and stops the run, the file left as
// it was.
PartialReport rewrite_after_each_window(Format format, const std::string& file, measure::Files& files,
                                        std::ostream& err, Rewrites& rewrites);

}  // namespace report
