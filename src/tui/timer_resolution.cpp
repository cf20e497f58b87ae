// The system timer resolution: read every pass, changed by the arrow keys.
#include "tui/timer_resolution.hpp"

#include <limits>

#include "tui/interface_logger.hpp"
#include "tui/real_time_tui.hpp"

namespace tui {

std::uint32_t step_resolution(std::uint32_t current_us, std::int32_t step_us) {
  constexpr std::uint32_t kMax = std::numeric_limits<std::uint32_t>::max();
  if (step_us < 0) {
    const auto down = static_cast<std::uint32_t>(-static_cast<std::int64_t>(step_us));
    return down > current_us ? 0 : current_us - down;
  }
  const auto up = static_cast<std::uint32_t>(step_us);
  return up > kMax - current_us ? kMax : current_us + up;
}

void RealTimeTUI::update_timer_resolution() {
  if (const auto resolution = waits_.query_timer_resolution()) {
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
  const std::uint32_t wanted = step_resolution(resolution_.current_us, step);
  try {
    interface_logger()->debug("[TUI] Current Resolution: {}μs, New Resolution: {}μs", resolution_.current_us, wanted);
    if (const auto granted = waits_.request_timer_resolution(wanted)) {
      resolution_.current_us = *granted;
    }
  } catch (...) {
    // The user sees that the value did not change.
  }
}

}  // namespace tui
