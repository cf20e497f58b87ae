#pragma once

#include <optional>

#include "measure/console.hpp"

namespace testing_support {

// A program started without a terminal, as under a test runner, whose
// terminal never changes hands.
class FakeConsole : public measure::Console {
 public:
  void prepare_console() override {}
  bool input_is_terminal() override { return false; }
  bool output_is_terminal() override { return false; }
  std::optional<int> error_terminal_width() override { return std::nullopt; }
  measure::TerminalState terminal_state() override { return measure::TerminalState::Own; }
};

}  // namespace testing_support
