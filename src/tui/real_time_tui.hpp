#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <ftxui/component/component_base.hpp>
#include <ftxui/component/event.hpp>
#include <ftxui/component/loop.hpp>
#include <ftxui/component/screen_interactive.hpp>
#include <ftxui/dom/elements.hpp>

#include "measure/platform.hpp"
#include "measure/sleep_sampler.hpp"

namespace tui {

// Holds the whole running system: the interactive screen and its component
// tree, the sampler and its background thread, the histogram model, the timer
// resolution state and the view state the keyboard changes.
class RealTimeTUI {
 public:
  RealTimeTUI();
  // Runs against `platform` instead of the operating system's (tests).
  explicit RealTimeTUI(measure::Platform& platform);
  RealTimeTUI(const RealTimeTUI&) = delete;
  RealTimeTUI& operator=(const RealTimeTUI&) = delete;
  RealTimeTUI(RealTimeTUI&&) = delete;
  RealTimeTUI& operator=(RealTimeTUI&&) = delete;
  ~RealTimeTUI();

  // Runs the screen loop on the calling thread until `quit`. Throws when the
  // terminal goes away under it.
  void run();
  // Stops sampling (joining the thread) and asks the screen loop to exit.
  void quit();

 private:
  friend class RealTimeTUITestPeer;

  void setup_ui();
  // An interactive program has no business in the background: stays stopped
  // there until it is brought back (true), or told to end (false, after
  // `quit`).
  bool wait_for_foreground();
  // Installs the screen on the terminal, once the program is in its
  // foreground, unless it has been told to end meanwhile.
  void install_screen(std::optional<ftxui::Loop>& loop);
  // Ctrl+Z: the screen off the terminal, the process stopped until resumed,
  // then the screen installed again.
  void suspend(std::optional<ftxui::Loop>& loop);
  // Found in the background, the screen still installed (stopped and
  // continued from outside): stopped again until brought back, then the
  // screen installed afresh.
  void return_to_foreground(std::optional<ftxui::Loop>& loop);
  // The frame; without colours when the user asked for none.
  ftxui::Element render_frame();
  ftxui::Element compose_frame();
  bool handle_event(ftxui::Event event);
  void clear_data();
  // Stores an arrow key's step for the next pass to apply.
  void request_resolution_step(std::int32_t step_us);

  // Sampling thread.
  void start_sampling();
  void stop_sampling();
  void sampling_loop();

  // Timer resolution.
  void update_timer_resolution();
  void query_timer_resolution();

  // Histogram model.
  void update_histogram();
  std::string format_microseconds(std::uint64_t us) const;

  // Panels.
  ftxui::Element render_header();
  ftxui::Element render_controls();
  ftxui::Element render_stats_panel();
  ftxui::Element render_histogram();

  measure::Platform& platform_;

  ftxui::Component main_component_;
  std::mutex data_mutex_;
  ftxui::ScreenInteractive screen_;
  std::unique_ptr<measure::SleepSampler> sampler_;
  std::atomic<bool> running_{false};
  std::atomic<bool> sampling_active_{false};
  std::thread sampling_thread_;
  std::vector<std::int32_t> bin_counts_;
  std::vector<std::string> bin_labels_;
  std::int32_t max_bin_count_ = 0;
  std::int64_t bin_count_ = 32;
  std::atomic<std::int32_t> filter_mode_{0};
  std::uint32_t current_resolution_us_ = 0;
  std::uint32_t max_resolution_us_ = 0;
  std::uint32_t min_resolution_us_ = 0;
  std::atomic<bool> resolution_change_pending_{false};
  std::atomic<std::int32_t> resolution_step_{0};
  // Rows of the terminal, read by the screen loop each pass (0 outside it).
  // The frame asks for no more: a taller one would scroll the terminal on
  // every redraw, hiding its top and flooding the scrollback.
  int terminal_rows_ = 0;
  // NO_COLOR was set: the frame is drawn without colours.
  bool no_colour_ = false;
};

}  // namespace tui
