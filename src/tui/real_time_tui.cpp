#include "tui/real_time_tui.hpp"

#include <chrono>
#include <exception>
#include <iostream>
#include <optional>
#include <stdexcept>

#include <ftxui/component/component.hpp>
#include <ftxui/component/loop.hpp>
#include <ftxui/screen/terminal.hpp>

#include "tui/cursor_query_filter.hpp"
#include "tui/interface_logger.hpp"
#include "tui/panels.hpp"

namespace tui {

using namespace ftxui;

RealTimeTUI::RealTimeTUI(measure::Platform& platform)
    : platform_(platform),
      screen_(ScreenInteractive::TerminalOutput()),
      engine_(platform, data_mutex_, {measure::SamplerSetup{}}),
      no_colour_(no_colour_requested()) {
  // Nothing here takes the mouse, and tracking it would keep the user from
  // selecting the numbers on screen (and flood the loop with motion events).
  screen_.TrackMouse(false);
  interface_logger();
  main_component_ = Renderer(Container::Vertical({}), [this] { return frame(); });
  main_component_ |= CatchEvent([this](const Event& event) { return handle_event(event); });
}

RealTimeTUI::~RealTimeTUI() { quit(); }

void RealTimeTUI::run() {
  auto logger = interface_logger();
  running_ = true;
  bool terminal_gone = false;
  try {
    // A stop signal ends the run as the quit key does. The handlers are ours
    // before the screen is installed, so the screen puts ours back when it is
    // removed.
    platform_.catch_stop_signals();
    platform_.hold_stop_signals();
    start_sampling();
    {
      // Held until the terminal is restored for good, through suspensions
      // too: the lines of a run stay together, not among the shell's output
      // for other jobs.
      const HeldLogLines held(logger);
      const CursorQueryFilter quiet(std::cout);
      std::optional<Loop> loop;
      install_screen(loop);
      while (loop && !loop->HasQuitted()) {
        const measure::TerminalState terminal = platform_.terminal_state();
        if (running_ && terminal == measure::TerminalState::Background) {
          // Stopped and continued from outside; the shell took the terminal
          // meanwhile.
          return_to_foreground(loop);
          continue;
        }
        // A terminal closed under a program that ignores the hang-up (nohup,
        // a trap) sends no signal, and its input is at an end for ever.
        if (running_ && terminal == measure::TerminalState::Gone) {
          terminal_gone = true;
          quit();
        }
        terminal_rows_ = Terminal::Size().dimy;
        loop->RunOnce();
        if (running_ && platform_.suspension_requested()) {
          suspend(loop);
        }
        if (running_ && platform_.caught_stop_signal() != 0) {
          quit();
        }
        update_timer_resolution();
        std::this_thread::sleep_for(std::chrono::milliseconds(16));
        screen_.PostEvent(Event::Custom);
      }
    }
    if (terminal_gone) {
      throw std::runtime_error("the terminal is gone");
    }
  } catch (const std::exception& e) {
    logger->error("[TUI] Exception in run(): {}", e.what());
    throw;
  } catch (...) {
    logger->error("[TUI] Unknown exception in run()");
    throw;
  }
}

bool RealTimeTUI::wait_for_foreground() {
  platform_.catch_stop_signals();
  while (platform_.caught_stop_signal() == 0 && platform_.terminal_state() == measure::TerminalState::Background) {
    platform_.suspend();
    // Where stopping is refused (an orphaned job), wait without spinning.
    if (platform_.terminal_state() == measure::TerminalState::Background) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
  if (platform_.caught_stop_signal() != 0) {
    quit();
    return false;
  }
  return true;
}

void RealTimeTUI::install_screen(std::optional<Loop>& loop) {
  if (!wait_for_foreground()) {
    return;
  }
  // The hold keeps the signals off the screen's threads, and covers the
  // moment in which the screen's own handlers are in place.
  platform_.hold_stop_signals();
  loop.emplace(&screen_, main_component_);
  platform_.catch_stop_signals();
}

void RealTimeTUI::suspend(std::optional<Loop>& loop) {
  const bool drawn = screen_.dimy() > 0;
  // Gives the terminal back and leaves the cursor on the line below the frame.
  loop.reset();
  if (drawn) {
    // Takes the frame off the screen, as a suspended program leaves it; the
    // next one is drawn afresh where the cursor then stands.
    std::cout << "\x1B[1A" << screen_.ResetPosition(/*clear=*/true) << std::flush;
  }
  static_cast<Screen&>(screen_) = Screen(0, 0);
  platform_.suspend();
  install_screen(loop);
}

void RealTimeTUI::return_to_foreground(std::optional<Loop>& loop) {
  // The terminal's settings are the shell's now, and the screen is not to
  // touch them from here: stop again at once, as the screen stands.
  const bool back = wait_for_foreground();
  // Told to end, the screen gives the terminal back from the background, which
  // no longer stops the program. Brought back, the screen starts afresh below
  // whatever the shell wrote meanwhile.
  loop.reset();
  if (back) {
    static_cast<Screen&>(screen_) = Screen(0, 0);
    install_screen(loop);
  }
}

void RealTimeTUI::quit() {
  running_ = false;
  stop_sampling();
  screen_.ExitLoopClosure()();
}

void RealTimeTUI::start_sampling() { engine_.start(); }

void RealTimeTUI::stop_sampling() { engine_.stop(); }

FrameSnapshot RealTimeTUI::take_snapshot(int width, int height, int terminal_rows) {
  FrameInputs inputs;
  {
    // The sampling thread waits while this is held: copy and let go.
    const std::lock_guard lock(data_mutex_);
    const measure::SleepSampler& sampler = engine_.sampler(0);
    frame_samples_.assign(sampler.samples().begin(), sampler.samples().end());
    inputs.mode = sampler.mode();
  }
  inputs.samples = frame_samples_;
  inputs.sampling = engine_.active();
  inputs.resolution = resolution_;
  inputs.filter = filter_mode_;
  inputs.width = width;
  inputs.height = height;
  inputs.terminal_rows = terminal_rows;
  return make_snapshot(inputs);
}

Element RealTimeTUI::frame() {
  try {
    return render_frame(take_snapshot(screen_.dimx(), screen_.dimy(), terminal_rows_), !no_colour_);
  } catch (const std::exception& e) {
    interface_logger()->error("[TUI] Exception in main_component_ render: {}", e.what());
    return render_error_frame(e.what());
  } catch (...) {
    interface_logger()->error("[TUI] Unknown exception in main_component_ render");
    return vbox({text("TUI Render Error: Unknown") | color(Color::Red)});
  }
}

}  // namespace tui
