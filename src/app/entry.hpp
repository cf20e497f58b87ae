#pragma once

#include <functional>
#include <iosfwd>

#include "measure/platform.hpp"
#include "tui/screen_choices.hpp"

namespace app {

// The program entry: parses the command line, answers help and version
// requests, runs a report on `platform`, or sets up the "main" logger and
// calls `run_interface` with the screen's choices, which constructs, runs
// and destroys the interface. Returns the exit status.
int run_entry(int argc, char** argv, std::ostream& out, std::ostream& err, const measure::Platform& platform,
              const std::function<void(const tui::ScreenChoices&)>& run_interface);

}  // namespace app
