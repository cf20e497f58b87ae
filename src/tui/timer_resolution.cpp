// The system timer resolution: read every pass, changed by the arrow keys.
#include "measure/timer_resolution.hpp"

#include "tui/interface_logger.hpp"
#include "tui/real_time_tui.hpp"

namespace tui {

void RealTimeTUI::query_timer_resolution() {
  if (const auto resolution = measure::read_timer_resolution(platform_)) {
    max_resolution_us_ = resolution->coarsest_us;
    min_resolution_us_ = resolution->finest_us;
    current_resolution_us_ = resolution->current_us;
  }
}

void RealTimeTUI::update_timer_resolution() {
  auto logger = interface_logger();
  query_timer_resolution();
  if (!resolution_change_pending_.load()) {
    return;
  }
  const std::int32_t step = resolution_step_.exchange(0);
  resolution_change_pending_ = false;
  if (step == 0 || current_resolution_us_ == 0) {
    return;
  }
  const std::uint32_t wanted = measure::step_resolution(current_resolution_us_, step);
  try {
    logger->debug("[TUI] Current Resolution: {}μs, New Resolution: {}μs", current_resolution_us_, wanted);
    if (const auto granted = measure::request_timer_resolution(platform_, wanted)) {
      current_resolution_us_ = *granted;
    }
  } catch (...) {
    // The user sees that the value did not change.
  }
}

}  // namespace tui
