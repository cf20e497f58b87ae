#include <iostream>
#include <stdexcept>

#include "app/entry.hpp"
#include "measure/platform.hpp"
#include "tui/real_time_tui.hpp"

int main(int argc, char** argv) {
  const measure::Platform platform = measure::system_platform();
  platform.console.prepare_console();
  platform.waits.keep_timer_request_when_hidden();
  const int status = app::run_entry(argc, argv, std::cout, std::cerr, platform, [&platform](const auto& choices) {
    // Without a terminal the keys cannot be read and the frames pile up
    // unseen in a file or pipe, so there is no run to be had.
    if (!platform.console.input_is_terminal()) {
      throw std::runtime_error(
          "standard input is not a terminal; Quorvane is interactive and must run in one, or use --report");
    }
    if (!platform.console.output_is_terminal()) {
      throw std::runtime_error(
          "standard output is not a terminal; Quorvane is interactive and must run in one, or use --report");
    }
    tui::RealTimeTUI interface(platform, choices);
    interface.run();
  });
  // A stop signal ended the run in order; now end as that signal ends a process.
  if (const int signal = platform.process.caught_stop_signal(); signal != 0) {
    std::cout.flush();
    return platform.process.end_by_signal(signal);
  }
  return status;
}
