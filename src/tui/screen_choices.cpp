#include "tui/screen_choices.hpp"

#include <fmt/format.h>

namespace tui {

std::string mode_detail(const ScreenChoices& choices) {
  const measure::Condition& condition = choices.condition;
  std::vector<std::string> parts;
  if (choices.interval != ScreenChoices{}.interval) {
    parts.push_back(fmt::format("{} μs", choices.interval.count()));
  }
  if (condition.priority != measure::Priority::Raised) {
    parts.push_back(measure::priority_name(condition.priority));
  }
  if (condition.load > 0) {
    parts.push_back(fmt::format("load {}", condition.load));
  }
  if (condition.cpu) {
    parts.push_back(fmt::format("CPU {}", *condition.cpu));
  }
  return fmt::format("{}", fmt::join(parts, ", "));
}

}  // namespace tui
