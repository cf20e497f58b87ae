#pragma once

#include <cstdint>

namespace tui {

// The interval an arrow key's `step_us` asks for from `current_us`: a step
// below zero stops at 0 instead of wrapping to about 429 seconds, one above
// saturates.
std::uint32_t step_resolution(std::uint32_t current_us, std::int32_t step_us);

}  // namespace tui
