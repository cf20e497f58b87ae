#pragma once

// What the screen is started with: the methods the m key cycles through,
// the interval, and the one condition it measures in.
#include <chrono>
#include <string>
#include <vector>

#include "measure/conditions.hpp"
#include "measure/wait_methods.hpp"

namespace tui {

struct ScreenChoices {
  // The m key's cycle, the first measured first; empty: the interface's three.
  std::vector<measure::SleepMode> methods;
  std::chrono::microseconds interval{1000};
  measure::Condition condition;
};

// What the Mode field says after the method, where the choices differ from
// the default: "500 μs, normal, load 4, CPU 1"; "" otherwise.
std::string mode_detail(const ScreenChoices& choices);

}  // namespace tui
