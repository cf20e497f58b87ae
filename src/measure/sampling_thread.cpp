// The background thread that keeps the sampler measuring.
#include <chrono>
#include <exception>
#include <system_error>

#include "tui/real_time_tui.hpp"

namespace tui {
namespace {

constexpr std::int32_t kStepMs = 1;
constexpr auto kPause = std::chrono::milliseconds(5);

}  // namespace

void RealTimeTUI::start_sampling() {
  if (sampling_active_) {
    return;
  }
  sampling_active_ = true;
  platform_.set_priority_class_realtime();
  sampling_thread_ = std::thread(&RealTimeTUI::sampling_loop, this);
}

void RealTimeTUI::stop_sampling() {
  if (!sampling_active_) {
    return;
  }
  sampling_active_ = false;
  if (!sampling_thread_.joinable()) {
    return;
  }
  if (sampling_thread_.get_id() == std::this_thread::get_id()) {
    return;  // a thread cannot join itself
  }
  try {
    sampling_thread_.join();
  } catch (const std::system_error&) {
    // Nothing left to wait for.
  }
}

void RealTimeTUI::sampling_loop() {
  platform_.set_thread_priority_time_critical();
  while (sampling_active_.load() && running_.load()) {
    try {
      {
        const std::lock_guard lock(data_mutex_);
        sample_once();
      }
      std::this_thread::sleep_for(kPause);
    } catch (...) {
      // A failed lock or pause: try the next step at once.
    }
  }
}

void RealTimeTUI::sample_once() {
  try {
    sampler_->measure(kStepMs);
  } catch (...) {
    // Keep what was recorded before the failure.
  }
}

}  // namespace tui
