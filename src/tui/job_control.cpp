// Job control: Ctrl+Z, the background and a terminal that went away.
#include <chrono>
#include <iostream>
#include <thread>

#include "tui/real_time_tui.hpp"

namespace tui {

using ftxui::Loop;

bool RealTimeTUI::check_terminal(std::optional<Loop>& loop) {
  if (!running_) {
    return true;
  }
  const measure::TerminalState terminal = console_.terminal_state();
  if (terminal == measure::TerminalState::Background) {
    // Stopped and continued from outside; the shell took the terminal
    // meanwhile.
    return_to_foreground(loop);
    return false;
  }
  // A terminal closed under a program that ignores the hang-up (nohup, a
  // trap) sends no signal, and its input is at an end for ever.
  if (terminal == measure::TerminalState::Gone) {
    terminal_gone_ = true;
    quit();
  }
  return true;
}

void RealTimeTUI::check_signals(std::optional<Loop>& loop) {
  if (running_ && process_.suspension_requested()) {
    suspend(loop);
  }
  if (running_ && process_.caught_stop_signal() != 0) {
    quit();
  }
}

bool RealTimeTUI::wait_for_foreground() {
  process_.catch_stop_signals();
  while (process_.caught_stop_signal() == 0 && console_.terminal_state() == measure::TerminalState::Background) {
    process_.suspend();
    // Where stopping is refused (an orphaned job), wait without spinning.
    if (console_.terminal_state() == measure::TerminalState::Background) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
  if (process_.caught_stop_signal() != 0) {
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
  process_.hold_stop_signals();
  loop.emplace(&screen_, main_component_);
  process_.catch_stop_signals();
}

void RealTimeTUI::suspend(std::optional<Loop>& loop) {
  // Gives the terminal back and leaves the cursor on the line below the frame.
  loop.reset();
  // Takes the frame off the screen, as a suspended program leaves it; the
  // next one is drawn afresh where the cursor then stands.
  writer_.erase();
  process_.suspend();
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
    writer_.forget();
    install_screen(loop);
  }
}

}  // namespace tui
