#pragma once

#include "tui/real_time_tui.hpp"

namespace tui {

// Names the screen's protected size through a derived class, which may.
struct ScreenSize : ftxui::ScreenInteractive {
  static int ftxui::Screen::*dimx() { return &ScreenSize::dimx_; }
  static int ftxui::Screen::*dimy() { return &ScreenSize::dimy_; }
};

// Reaches the interface object's private state and operations for tests.
class RealTimeTUITestPeer {
 public:
  explicit RealTimeTUITestPeer(RealTimeTUI& ui) : ui_(ui) {}

  // Operations.
  ftxui::Element render_frame() { return ui_.render_frame(); }
  bool handle_event(const ftxui::Event& event) { return ui_.handle_event(event); }
  void start_sampling() { ui_.start_sampling(); }
  void stop_sampling() { ui_.stop_sampling(); }
  void update_timer_resolution() { ui_.update_timer_resolution(); }
  void query_timer_resolution() { ui_.query_timer_resolution(); }
  void update_histogram() { ui_.update_histogram(); }
  ftxui::Element render_header() { return ui_.render_header(); }
  ftxui::Element render_controls() { return ui_.render_controls(); }
  ftxui::Element render_stats_panel() { return ui_.render_stats_panel(); }
  ftxui::Element render_histogram(int width, int height) { return ui_.render_histogram(width, height); }

  // State.
  // Makes the screen report this size, as it would after drawing a frame of it.
  void set_screen_size(int width, int height) {
    ui_.screen_.*ScreenSize::dimx() = width;
    ui_.screen_.*ScreenSize::dimy() = height;
  }
  std::mutex& data_mutex() { return ui_.data_mutex_; }
  measure::SleepSampler& sampler() { return *ui_.sampler_; }
  std::atomic<bool>& running() { return ui_.running_; }
  std::atomic<bool>& sampling_active() { return ui_.sampling_active_; }
  std::thread& sampling_thread() { return ui_.sampling_thread_; }
  std::vector<std::int32_t>& bin_counts() { return ui_.bin_counts_; }
  std::vector<std::string>& bin_labels() { return ui_.bin_labels_; }
  std::int32_t& max_bin_count() { return ui_.max_bin_count_; }
  std::atomic<std::int32_t>& filter_mode() { return ui_.filter_mode_; }
  std::uint32_t& current_resolution_us() { return ui_.current_resolution_us_; }
  std::atomic<bool>& resolution_change_pending() { return ui_.resolution_change_pending_; }
  std::atomic<std::int32_t>& resolution_step() { return ui_.resolution_step_; }
  int& terminal_rows() { return ui_.terminal_rows_; }

 private:
  RealTimeTUI& ui_;
};

}  // namespace tui
