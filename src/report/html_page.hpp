#pragma once

// The page: one self-contained HTML document of plots (inline SVG and CSS,
// no script, nothing fetched), drawn from reports as their JSON has them.
#include <string>
#include <vector>

#include "report/plot_data.hpp"

namespace report {

// The page of `reports`, overlaid. Each is named by its host where every
// report names a different one, otherwise by its file. The document is
// well-formed XML as well as HTML.
std::string html_page(const std::vector<PlotReport>& reports);

}  // namespace report
