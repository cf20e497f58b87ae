// The background thread that keeps the sampler measuring.
#include <system_error>

#include "measure/sampling.hpp"
#include "tui/real_time_tui.hpp"

namespace tui {
namespace {

// Joins `thread` unless it is the calling thread, which cannot join itself.
// Never raises: a failed join leaves nothing more to wait for.
void join_unless_self(std::thread& thread) {
  if (!thread.joinable() || thread.get_id() == std::this_thread::get_id()) {
    return;
  }
  try {
    thread.join();
  } catch (const std::system_error&) {
  }
}

}  // namespace

void RealTimeTUI::start_sampling() {
  if (sampling_active_) {
    return;
  }
  // A thread stopped from within itself is still unjoined; it has been told
  // to end, so wait for it here (before the flag is set again, or it would
  // carry on) rather than assign over a joinable thread.
  join_unless_self(sampling_thread_);
  sampling_active_ = true;
  platform_.set_priority_class_realtime();
  sampling_thread_ = std::thread(&RealTimeTUI::sampling_loop, this);
}

void RealTimeTUI::stop_sampling() {
  // When idle, only a thread that was stopped from within itself may be left
  // to join: the thread object must never be destroyed joinable.
  if (!sampling_active_.exchange(false) && !sampling_thread_.joinable()) {
    return;
  }
  join_unless_self(sampling_thread_);
}

void RealTimeTUI::sampling_loop() {
  measure::enter_sampling_thread(platform_);
  while (sampling_active_.load() && running_.load()) {
    try {
      {
        const std::lock_guard lock(data_mutex_);
        measure::measure_step(*sampler_);
      }
      std::this_thread::sleep_for(measure::kStepPause);
    } catch (...) {
      // A failed lock or pause: try the next step at once.
    }
  }
}

}  // namespace tui
