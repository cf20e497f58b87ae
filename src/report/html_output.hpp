#pragma once

// The page written to its file: a run's, from the report's JSON (--html), or
// saved reports' (--plot). Written whole or not at all.
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace report {

// The line for standard error when the page cannot go to `file`, given with
// `option` (a missing or closed folder, a directory, one of the reports
// `read`, which it would replace), or nothing.
std::optional<std::string> unwritable(std::string_view option, const std::string& file,
                                      const std::vector<std::string>& read);

// Draws the page of a run from `json`, its report as --json prints it, and
// writes it to `file`: false, with the line said on `err`, when it could not.
bool write_run_page(const std::string& json, const std::string& file, std::ostream& err);

// --plot: the page of the saved reports in `files`, overlaid, written to
// `page`. 0; 2 for a file that is no report, with one line naming it and no
// page written; 1 when the page could not be written.
int plot_reports(const std::vector<std::string>& files, const std::string& page, std::ostream& err);

}  // namespace report
