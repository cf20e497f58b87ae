#pragma once

#include <cstdint>
#include <optional>

#include "measure/platform.hpp"

namespace measure {

// The system timer resolution in whole microseconds.
struct TimerResolution {
  std::uint32_t coarsest_us = 0;
  std::uint32_t finest_us = 0;
  std::uint32_t current_us = 0;
};

// The platform's three readings, or nothing when the query fails.
std::optional<TimerResolution> read_timer_resolution(Platform& platform);

// Asks for an interval of `us`; the interval the system then reports, or
// nothing when it refuses.
std::optional<std::uint32_t> request_timer_resolution(Platform& platform, std::uint32_t us);

// The interval `step_us` away from `current_us`: a step below zero stops at 0
// instead of wrapping to about 429 seconds, one above saturates.
std::uint32_t step_resolution(std::uint32_t current_us, std::int32_t step_us);

// Microseconds to the platform's 100 ns units, saturating instead of wrapping.
std::uint32_t microseconds_to_units(std::uint32_t us);

}  // namespace measure
