#include "tui/real_time_tui.hpp"

namespace tui {

using ftxui::Event;

bool RealTimeTUI::handle_event(Event event) {
  if (event == Event::Character('q') || event == Event::Character('Q')) {
    quit();
    return true;
  }
  return false;
}

void RealTimeTUI::clear_data() {
  const std::lock_guard lock(data_mutex_);
  sampler_->clear();
  std::fill(bin_counts_.begin(), bin_counts_.end(), 0);
  max_bin_count_ = 0;
}

}  // namespace tui
