// The system timer resolution: read every pass, changed by the arrow keys.
#include <cstdlib>
#include <exception>
#include <limits>

#include "tui/interface_logger.hpp"
#include "tui/real_time_tui.hpp"

namespace tui {
namespace {

// Platform values count 100 ns units; the interface counts whole microseconds.
constexpr std::uint32_t kUnitsPerMicrosecond = 10;

// The wanted interval after `step`: a step below zero stops at 0 instead of
// wrapping to about 429 seconds.
std::uint32_t stepped(std::uint32_t current, std::int32_t step) {
  if (step < 0) {
    const auto down = static_cast<std::uint32_t>(-static_cast<std::int64_t>(step));
    return down > current ? 0 : current - down;
  }
  const auto up = static_cast<std::uint32_t>(step);
  return up > std::numeric_limits<std::uint32_t>::max() - current ? std::numeric_limits<std::uint32_t>::max()
                                                                  : current + up;
}

// Microseconds to 100 ns units, saturating instead of wrapping.
std::uint32_t to_units(std::uint32_t us) {
  constexpr std::uint32_t limit = std::numeric_limits<std::uint32_t>::max() / kUnitsPerMicrosecond;
  return us > limit ? std::numeric_limits<std::uint32_t>::max() : us * kUnitsPerMicrosecond;
}

}  // namespace

void RealTimeTUI::query_timer_resolution() {
  std::uint32_t coarsest = 0;
  std::uint32_t finest = 0;
  std::uint32_t current = 0;
  if (platform_.nt_query_timer_resolution(coarsest, finest, current) != measure::kStatusSuccess) {
    return;
  }
  max_resolution_us_ = coarsest / kUnitsPerMicrosecond;
  min_resolution_us_ = finest / kUnitsPerMicrosecond;
  current_resolution_us_ = current / kUnitsPerMicrosecond;
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
  const std::uint32_t wanted = stepped(current_resolution_us_, step);
  try {
    logger->debug("[TUI] Current Resolution: {}μs, New Resolution: {}μs", current_resolution_us_, wanted);
    std::uint32_t actual = 0;
    if (platform_.nt_set_timer_resolution(to_units(wanted), true, actual) == measure::kStatusSuccess) {
      current_resolution_us_ = actual / kUnitsPerMicrosecond;
    }
  } catch (...) {
    // The user sees that the value did not change.
  }
}

}  // namespace tui
