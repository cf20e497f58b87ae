#pragma once

// The frame and its panels, each a function of what the frame shows.
#include <string>

#include <ftxui/dom/elements.hpp>

#include "tui/snapshot.hpp"

namespace tui {

// The title and version, and the web address.
ftxui::Element render_header();
// The key legend and the attribution.
ftxui::Element render_controls();
// Method, status, figures and timer resolution in three columns.
ftxui::Element render_stats_panel(const FrameSnapshot& snapshot);
// The filter's name, the bars and their labels, or a message while there are
// too few samples.
ftxui::Element render_histogram(const FrameSnapshot& snapshot);
// The panels in a rounded border of at least 80 × 30 cells, no taller than
// the terminal; without colours unless `colour`.
ftxui::Element render_frame(const FrameSnapshot& snapshot, bool colour);
// What is drawn instead of a frame that could not be built.
ftxui::Element render_error_frame(const std::string& message);

}  // namespace tui
