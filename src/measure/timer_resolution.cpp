#include "measure/timer_resolution.hpp"

#include <limits>

namespace measure {
namespace {

// Platform values count 100 ns units.
constexpr std::uint32_t kUnitsPerMicrosecond = 10;
constexpr std::uint32_t kMax = std::numeric_limits<std::uint32_t>::max();

}  // namespace

std::optional<TimerResolution> read_timer_resolution(Platform& platform) {
  std::uint32_t coarsest = 0;
  std::uint32_t finest = 0;
  std::uint32_t current = 0;
  if (platform.nt_query_timer_resolution(coarsest, finest, current) != kStatusSuccess) {
    return std::nullopt;
  }
  return TimerResolution{coarsest / kUnitsPerMicrosecond, finest / kUnitsPerMicrosecond,
                         current / kUnitsPerMicrosecond};
}

std::optional<std::uint32_t> request_timer_resolution(Platform& platform, std::uint32_t us) {
  std::uint32_t actual = 0;
  if (platform.nt_set_timer_resolution(microseconds_to_units(us), true, actual) != kStatusSuccess) {
    return std::nullopt;
  }
  return actual / kUnitsPerMicrosecond;
}

std::uint32_t step_resolution(std::uint32_t current_us, std::int32_t step_us) {
  if (step_us < 0) {
    const auto down = static_cast<std::uint32_t>(-static_cast<std::int64_t>(step_us));
    return down > current_us ? 0 : current_us - down;
  }
  const auto up = static_cast<std::uint32_t>(step_us);
  return up > kMax - current_us ? kMax : current_us + up;
}

std::uint32_t microseconds_to_units(std::uint32_t us) {
  return us > kMax / kUnitsPerMicrosecond ? kMax : us * kUnitsPerMicrosecond;
}

}  // namespace measure
