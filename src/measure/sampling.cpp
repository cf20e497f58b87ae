#include "measure/sampling.hpp"

namespace measure {

bool enter_sampling_thread(Platform& platform) {
  const bool granted = platform.set_thread_priority_time_critical();
  hold_stop_signals();
  count_resumes_here();
  return granted;
}

void measure_step(SleepSampler& sampler) noexcept {
  try {
    sampler.measure(kStepMs);
  } catch (...) {
    // An allocation failure while recording: the next step tries again.
  }
}

}  // namespace measure
