#pragma once

#include <chrono>
#include <cstdint>

#include "measure/platform.hpp"
#include "measure/sleep_sampler.hpp"

namespace measure {

// A sampling thread measures for one step, then pauses, leaving the sampler
// free for whoever reads it.
inline constexpr std::int32_t kStepMs = 1;
inline constexpr std::chrono::milliseconds kStepPause{5};

// The first thing a sampling thread does: raise its own priority, keep the
// stop signals, which would only cut a timed wait short, off it, and count the
// resumes after a suspension, so that a wait it was stopped in is dropped.
// Returns whether the system granted the priority.
bool enter_sampling_thread(Platform& platform);

// One measuring step. A failure keeps what was recorded before it.
void measure_step(SleepSampler& sampler) noexcept;

}  // namespace measure
