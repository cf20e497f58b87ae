#pragma once

// The page written to its file: a run's, from the report's JSON (--html), or
// saved reports' (--plot). Written whole or not at all, through `files`.
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "measure/files.hpp"

namespace report {

// A file the page must not replace, and what it is: "the report it reads".
struct Kept {
  std::string file;
  const char* what;
};

// The line for standard error when the page cannot go to `file`, given with
// `option` (a missing or closed folder, a directory, one of the files
// `kept`), or nothing.
std::optional<std::string> unwritable(std::string_view option, const std::string& file, const std::vector<Kept>& kept,
                                      measure::Files& files);

// The page of a run, drawn from `json`, its report as --json prints it, so
// that the two cannot disagree. Throws std::logic_error should the program's
// own JSON not read back.
std::string run_page(const std::string& json);

// The page of a run written to `file`: false, with the line said on `err`,
// when it could not.
bool write_run_page(const std::string& json, const std::string& file, measure::Files& files, std::ostream& err);

// --plot: the page of the saved reports `saved`, overlaid, written to
// `page`. 0; 2 for a file that is no report, with one line naming it and no
// page written; 1 when the page could not be written.
int plot_reports(const std::vector<std::string>& saved, const std::string& page, measure::Files& files,
                 std::ostream& err);

}  // namespace report
