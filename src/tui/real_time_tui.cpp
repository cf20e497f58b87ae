#include "tui/real_time_tui.hpp"

#include <chrono>
#include <exception>

#include <ftxui/component/component.hpp>
#include <ftxui/component/loop.hpp>
#include <ftxui/screen/terminal.hpp>

#include "tui/interface_logger.hpp"

namespace tui {

using namespace ftxui;

RealTimeTUI::RealTimeTUI() : RealTimeTUI(measure::system_platform()) {}

RealTimeTUI::RealTimeTUI(measure::Platform& platform)
    : platform_(platform),
      screen_(ScreenInteractive::TerminalOutput()),
      sampler_(std::make_unique<measure::SleepSampler>(platform)) {
  setup_ui();
}

RealTimeTUI::~RealTimeTUI() { quit(); }

void RealTimeTUI::setup_ui() {
  interface_logger();
  main_component_ = Renderer(Container::Vertical({}), [this] { return render_frame(); });
  main_component_ |= CatchEvent([this](Event event) { return handle_event(std::move(event)); });
}

void RealTimeTUI::run() {
  auto logger = interface_logger();
  running_ = true;
  try {
    // A stop signal ends the run as the quit key does. The handlers are ours
    // before the screen is installed, so the screen puts ours back when it is
    // removed; the hold keeps the signals off the sampling thread and covers
    // the moment in which the screen's own handlers are in place.
    measure::catch_stop_signals();
    measure::hold_stop_signals();
    start_sampling();
    Loop loop(&screen_, main_component_);
    measure::catch_stop_signals();
    while (!loop.HasQuitted()) {
      terminal_rows_ = Terminal::Size().dimy;
      loop.RunOnce();
      // Resuming after Ctrl+Z installs the screen, and its handlers, again.
      measure::catch_stop_signals();
      if (running_ && measure::caught_stop_signal() != 0) {
        quit();
      }
      update_timer_resolution();
      std::this_thread::sleep_for(std::chrono::milliseconds(16));
      screen_.PostEvent(Event::Custom);
    }
  } catch (const std::exception& e) {
    logger->error("[TUI] Exception in run(): {}", e.what());
    throw;
  } catch (...) {
    logger->error("[TUI] Unknown exception in run()");
    throw;
  }
}

void RealTimeTUI::quit() {
  running_ = false;
  stop_sampling();
  screen_.ExitLoopClosure()();
}

Element RealTimeTUI::render_frame() {
  try {
    auto header = render_header();
    auto stats = render_stats_panel();
    auto histogram = render_histogram() | flex;
    auto controls = render_controls();
    auto frame = vbox({
                     std::move(header),
                     separator(),
                     std::move(stats),
                     separator(),
                     std::move(histogram),
                     separator(),
                     std::move(controls),
                 }) |
                 border | size(WIDTH, GREATER_THAN, 80) | size(HEIGHT, GREATER_THAN, 30);
    if (terminal_rows_ > 0) {
      frame |= size(HEIGHT, LESS_THAN, terminal_rows_);
    }
    return frame;
  } catch (const std::exception& e) {
    interface_logger()->error("[TUI] Exception in main_component_ render: {}", e.what());
    return vbox({
        text("TUI Render Error: ") | color(Color::Red),
        text(e.what()) | color(Color::Red),
    });
  } catch (...) {
    interface_logger()->error("[TUI] Unknown exception in main_component_ render");
    return vbox({text("TUI Render Error: Unknown") | color(Color::Red)});
  }
}

}  // namespace tui
