#include <algorithm>
#include <array>
#include <utility>

#include "analysis/histogram.hpp"
#include "tui/real_time_tui.hpp"

namespace tui {

using ftxui::Event;

namespace {

bool is_key(const Event& event, char lower, char upper) {
  return event == Event::Character(lower) || event == Event::Character(upper);
}

}  // namespace

bool RealTimeTUI::handle_event(Event event) {
  if (is_key(event, 'q', 'Q')) {
    quit();
    return true;
  }
  if (is_key(event, 'm', 'M')) {
    {
      const std::lock_guard lock(data_mutex_);
      sampler_->mode_ = measure::next_sleep_mode(sampler_->mode_);
    }
    // Samples of the old method would mix into the new one's statistics.
    clear_data();
    return true;
  }
  if (is_key(event, 'c', 'C')) {
    clear_data();
    return true;
  }
  if (is_key(event, 's', 'S')) {
    // No lock here: stopping waits for the thread, which needs the lock to finish.
    if (sampling_active_.load()) {
      stop_sampling();
    } else {
      start_sampling();
    }
    return true;
  }
  if (is_key(event, 'f', 'F')) {
    filter_mode_.exchange(analysis::next_filter(filter_mode_.load()));
    return true;
  }
  // Arrows step the timer interval by 1 μs, with Ctrl by 100 μs.
  static const std::array<std::pair<Event, std::int32_t>, 4> kSteps{{
      {Event::ArrowUp, 1},
      {Event::ArrowDown, -1},
      {Event::ArrowUpCtrl, 100},
      {Event::ArrowDownCtrl, -100},
  }};
  for (const auto& [key, step_us] : kSteps) {
    if (event == key) {
      request_resolution_step(step_us);
      return true;
    }
  }
  return false;
}

void RealTimeTUI::request_resolution_step(std::int32_t step_us) {
  // Step first: the next pass tests the flag and then takes the step.
  resolution_step_.exchange(step_us);
  resolution_change_pending_.exchange(true);
}

void RealTimeTUI::clear_data() {
  const std::lock_guard lock(data_mutex_);
  sampler_->clear();
  std::fill(bin_counts_.begin(), bin_counts_.end(), 0);
  max_bin_count_ = 0;
}

}  // namespace tui
