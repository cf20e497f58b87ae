#pragma once

#include "tui/real_time_tui.hpp"

namespace tui {

// Reaches the interface object's private state and operations for tests.
class RealTimeTUITestPeer {
 public:
  explicit RealTimeTUITestPeer(RealTimeTUI& ui) : ui_(ui) {}

  ftxui::Element render_frame() { return ui_.render_frame(); }
  bool handle_event(const ftxui::Event& event) { return ui_.handle_event(event); }
  void start_sampling() { ui_.start_sampling(); }
  void stop_sampling() { ui_.stop_sampling(); }
  void update_timer_resolution() { ui_.update_timer_resolution(); }

  // The screen reports this size, as after drawing a frame of it; the
  // terminal has that many rows.
  void set_screen_size(int width, int height) {
    struct Size : ftxui::ScreenInteractive {  // names the protected size
      static void set(ftxui::Screen& screen, int x, int y) { screen.*(&Size::dimx_) = x, screen.*(&Size::dimy_) = y; }
    };
    Size::set(ui_.screen_, width, height);
    ui_.terminal_rows_ = height;
  }
  // The sampler's buffer and mode, under the lock the sampling thread takes.
  template <typename Fn>
  auto with_sampler(Fn&& fn) {
    const std::lock_guard lock(ui_.data_mutex_);
    return fn(*ui_.sampler_);
  }
  std::atomic<bool>& running() { return ui_.running_; }
  std::atomic<bool>& sampling_active() { return ui_.sampling_active_; }
  std::thread& sampling_thread() { return ui_.sampling_thread_; }
  std::int32_t max_bin_count() const { return ui_.max_bin_count_; }
  std::int32_t filter_mode() const { return ui_.filter_mode_; }
  std::uint32_t current_resolution_us() const { return ui_.current_resolution_us_; }
  bool& no_colour() { return ui_.no_colour_; }

 private:
  RealTimeTUI& ui_;
};

}  // namespace tui
