// The system timer resolution: read every pass, changed by the arrow keys.
#include "measure/timer_resolution.hpp"

#include "tui/interface_logger.hpp"
#include "tui/real_time_tui.hpp"

namespace tui {

void RealTimeTUI::update_timer_resolution() {
  if (const auto resolution = platform_.query_timer_resolution()) {
    resolution_ = *resolution;
  }
  if (!resolution_change_pending_) {
    return;
  }
  const std::int32_t step = std::exchange(resolution_step_, 0);
  resolution_change_pending_ = false;
  // Nothing to step from before the system has said where it stands.
  if (step == 0 || resolution_.current_us == 0) {
    return;
  }
  const std::uint32_t wanted = measure::step_resolution(resolution_.current_us, step);
  try {
    interface_logger()->debug("[TUI] Current Resolution: {}μs, New Resolution: {}μs", resolution_.current_us, wanted);
    if (const auto granted = platform_.request_timer_resolution(wanted)) {
      resolution_.current_us = *granted;
    }
  } catch (...) {
    // The user sees that the value did not change.
  }
}

}  // namespace tui
