#include "measure/timer_resolution.hpp"

#include <limits>

namespace measure {

std::uint32_t step_resolution(std::uint32_t current_us, std::int32_t step_us) {
  constexpr std::uint32_t kMax = std::numeric_limits<std::uint32_t>::max();
  if (step_us < 0) {
    const auto down = static_cast<std::uint32_t>(-static_cast<std::int64_t>(step_us));
    return down > current_us ? 0 : current_us - down;
  }
  const auto up = static_cast<std::uint32_t>(step_us);
  return up > kMax - current_us ? kMax : current_us + up;
}

}  // namespace measure
