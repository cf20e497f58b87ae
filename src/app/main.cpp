#include <iostream>

#include "app/entry.hpp"
#include "measure/platform.hpp"
#include "tui/real_time_tui.hpp"

int main(int argc, char** argv) {
  measure::prepare_console();
  return app::run_entry(argc, argv, std::cout, std::cerr, [] {
    tui::RealTimeTUI interface;
    interface.run();
  });
}
