// The keys and what they do.
#include <algorithm>
#include <array>
#include <utility>

#include "tui/real_time_tui.hpp"

namespace tui {

using ftxui::Event;

namespace {

bool is_key(const Event& event, char lower, char upper) {
  return event == Event::Character(lower) || event == Event::Character(upper);
}

}  // namespace

bool RealTimeTUI::handle_event(const Event& event) {
  if (is_key(event, 'q', 'Q')) {
    quit();
    return true;
  }
  if (is_key(event, 'm', 'M')) {
    {
      const std::lock_guard lock(data_mutex_);
      // The next of the methods given, round to the first.
      measure::SleepSampler& sampler = engine_.sampler(0);
      const auto at = std::find(methods_.begin(), methods_.end(), sampler.mode());
      sampler.set_mode(at == methods_.end() || at + 1 == methods_.end() ? methods_.front() : *(at + 1));
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
    if (engine_.active()) {
      stop_sampling();
    } else {
      start_sampling();
    }
    return true;
  }
  if (is_key(event, 'f', 'F')) {
    filter_mode_ = analysis::next_filter(filter_mode_);
    return true;
  }
  // Arrows step the timer interval by 1 μs, with Ctrl by 100 μs; of several
  // before the next pass, the last counts.
  static const std::array<std::pair<Event, std::int32_t>, 4> kSteps{{
      {Event::ArrowUp, 1},
      {Event::ArrowDown, -1},
      {Event::ArrowUpCtrl, 100},
      {Event::ArrowDownCtrl, -100},
  }};
  for (const auto& [key, step_us] : kSteps) {
    if (event == key) {
      resolution_step_ = step_us;
      resolution_change_pending_ = true;
      return true;
    }
  }
  return false;
}

void RealTimeTUI::clear_data() {
  const std::lock_guard lock(data_mutex_);
  engine_.sampler(0).clear();
}

}  // namespace tui
