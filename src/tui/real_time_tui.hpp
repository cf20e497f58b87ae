#pragma once

#include <cstdint>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <ftxui/component/component_base.hpp>
#include <ftxui/component/event.hpp>
#include <ftxui/component/loop.hpp>
#include <ftxui/component/screen_interactive.hpp>
#include <ftxui/dom/elements.hpp>

#include "analysis/histogram.hpp"
#include "measure/platform.hpp"
#include "measure/sampling_engine.hpp"
#include "tui/frame_writer.hpp"
#include "tui/screen_choices.hpp"
#include "tui/snapshot.hpp"

namespace tui {

// The interactive program: the screen and its loop, the sampling engine, the
// timer resolution state and the view state the keyboard changes.
class RealTimeTUI {
 public:
  explicit RealTimeTUI(const measure::Platform& platform = measure::system_platform(),
                       const ScreenChoices& choices = {});
  RealTimeTUI(const RealTimeTUI&) = delete;
  RealTimeTUI& operator=(const RealTimeTUI&) = delete;
  ~RealTimeTUI();

  // Starts sampling and runs the screen loop on the calling thread until
  // `quit`. Throws when the terminal goes away under it.
  void run();
  // Stops sampling (joining the thread) and asks the screen loop to exit.
  void quit();

  // The keyboard: acts on one of its keys and returns true; false for any
  // other event.
  bool handle_event(const ftxui::Event& event);
  // Once a pass: reads the timer resolution and applies an arrow key's step.
  void update_timer_resolution();
  // What a frame shows now, fitted to `width` × `height` cells in a terminal
  // of `terminal_rows` (0: unknown); valid until the next call.
  const FrameSnapshot& take_snapshot(int width, int height, int terminal_rows);

 private:
  // Job control, before and after each pass of the screen loop. Before: found
  // in the background, stopped until brought back (false: the pass starts
  // over); the terminal gone, the run ends. After: Ctrl+Z suspends, a stop
  // signal ends the run.
  bool check_terminal(std::optional<ftxui::Loop>& loop);
  void check_signals(std::optional<ftxui::Loop>& loop);
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
  // Draws the frame for the terminal's current size, or an error frame, when
  // it differs from the one on screen.
  void draw();
  void clear_data();
  void start_sampling();
  void stop_sampling();

  measure::Waits& waits_;
  measure::Process& process_;
  measure::Console& console_;
  ftxui::Component main_component_;
  // Guards the sampler's buffer and mode; held by the sampling thread for
  // each step.
  std::mutex data_mutex_;
  // Reads the keys and keeps the terminal's modes; draws nothing itself.
  ftxui::ScreenInteractive screen_;
  // The methods the m key cycles through, and what the Mode field says
  // after the method.
  std::vector<measure::SleepMode> methods_;
  std::string mode_detail_;
  // One sampler, whose method the m key switches.
  measure::SamplingEngine engine_;
  // From the start of `run` until `quit`.
  bool running_ = false;
  analysis::HistogramFilter filter_mode_ = analysis::HistogramFilter::All;
  // All zero until the first successful query.
  measure::TimerResolution resolution_;
  // An arrow key's step in microseconds, applied by the next pass.
  bool resolution_change_pending_ = false;
  std::int32_t resolution_step_ = 0;
  // The terminal went away under the run.
  bool terminal_gone_ = false;
  // What is on screen: the frame and what it was drawn from (nothing after
  // an error frame); a key handled since asks for it to be drawn again.
  FrameWriter writer_{std::cout};
  std::optional<FrameSnapshot> shown_;
  bool redraw_ = false;
  // NO_COLOR was set: the frame is drawn without colours.
  bool no_colour_ = false;
  // The samples the last snapshot was made from, and those copied out under
  // the lock for the next; what the last snapshot was made from, and the
  // snapshot.
  std::vector<std::uint64_t> frame_samples_;
  std::vector<std::uint64_t> next_samples_;
  FrameInputs snapshot_inputs_;
  std::optional<FrameSnapshot> snapshot_;
};

}  // namespace tui
