#pragma once

// A report's JSON read for the page: strictly, as a comparison reads one,
// every fault one line naming its key.
#include <string>
#include <string_view>
#include <variant>

#include "report/plot_data.hpp"

namespace report {

// The report in `json`, or what is wrong with it.
std::variant<PlotReport, std::string> parse_plot(std::string_view json);

// The saved --json report in `file`, or the line for standard error that
// names the file and what is wrong with it (as read_baseline says it, for
// --plot). Reading holds the histograms, 16 bytes a bin, not the text.
std::variant<PlotReport, std::string> read_plot(const std::string& file);

}  // namespace report
