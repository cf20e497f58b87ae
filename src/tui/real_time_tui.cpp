#include "tui/real_time_tui.hpp"

#include <chrono>
#include <exception>
#include <iostream>
#include <optional>
#include <stdexcept>

#include <ftxui/component/component.hpp>
#include <ftxui/component/loop.hpp>
#include <ftxui/screen/terminal.hpp>

#include "tui/interface_logger.hpp"
#include "tui/panels.hpp"

namespace tui {

using namespace ftxui;

namespace {

std::vector<measure::SleepMode> cycle_of(const ScreenChoices& choices) {
  if (!choices.methods.empty()) {
    return choices.methods;
  }
  std::vector<measure::SleepMode> modes;
  for (const measure::WaitMethod& method : measure::interface_methods()) {
    modes.push_back(method.mode);
  }
  return modes;
}

}  // namespace

RealTimeTUI::RealTimeTUI(const measure::Platform& platform, const ScreenChoices& choices)
    : waits_(platform.waits),
      process_(platform.process),
      console_(platform.console),
      screen_(ScreenInteractive::TerminalOutput()),
      methods_(cycle_of(choices)),
      mode_detail_(mode_detail(choices)),
      engine_(platform.waits, &platform.placement, data_mutex_,
              {{choices.condition,
                {measure::SamplerSetup{methods_.front(), 500, measure::Retention::KeepNewest, choices.interval}}}}),
      no_colour_(no_colour_requested()) {
  // Nothing here takes the mouse, and tracking it would keep the user from
  // selecting the numbers on screen (and flood the loop with motion events).
  screen_.TrackMouse(false);
  interface_logger();
  // The screen draws nothing itself (see `draw`): it reads the keys.
  main_component_ = Renderer(Container::Vertical({}), [] { return emptyElement(); });
  main_component_ |= CatchEvent([this](const Event& event) {
    const bool handled = handle_event(event);
    redraw_ = redraw_ || handled;
    return handled;
  });
}

RealTimeTUI::~RealTimeTUI() { quit(); }

void RealTimeTUI::run() {
  auto logger = interface_logger();
  running_ = true;
  terminal_gone_ = false;
  try {
    // A stop signal ends the run as the quit key does. The handlers are ours
    // (start_sampling catches them) before the screen is installed, so the
    // screen puts ours back when it is removed.
    start_sampling();
    {
      // Held until the terminal is restored for good, through suspensions
      // too: the lines of a run stay together, not among the shell's output
      // for other jobs.
      const HeldLogLines held(logger);
      std::optional<Loop> loop;
      install_screen(loop);
      while (loop && !loop->HasQuitted()) {
        if (!check_terminal(loop)) {
          continue;
        }
        {
          // The screen reads the keys; the frames are ours to write. Nothing
          // of its own drawing reaches the terminal, its requests for the
          // cursor position included, whose answers the shell would read as
          // typed text once the screen stopped reading.
          const Silenced screen_output(std::cout);
          loop->RunOnce();
        }
        draw();
        check_signals(loop);
        if (engine_.failure()) {
          // Measuring cannot go on as asked (the thread could not be kept to
          // its CPU): the run ends, and says why.
          quit();
        }
        update_timer_resolution();
        std::this_thread::sleep_for(std::chrono::milliseconds(16));
      }
    }
    if (terminal_gone_) {
      throw std::runtime_error("the terminal is gone");
    }
    if (const auto failure = engine_.failure()) {
      throw std::runtime_error(*failure);
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

void RealTimeTUI::start_sampling() {
  // The sampling thread inherits the hold: no stop signal cuts its waits short.
  process_.hold_stop_signals();
  engine_.start();
  process_.catch_stop_signals();
}

void RealTimeTUI::stop_sampling() { engine_.stop(); }

const FrameSnapshot& RealTimeTUI::take_snapshot(int width, int height, int terminal_rows) {
  FrameInputs inputs;
  {
    // The sampling thread waits while this is held: copy and let go.
    const std::lock_guard lock(data_mutex_);
    const measure::SleepSampler& sampler = engine_.sampler(0);
    next_samples_.assign(sampler.samples().begin(), sampler.samples().end());
    inputs.mode = sampler.mode();
  }
  inputs.mode_detail = mode_detail_;
  inputs.samples = next_samples_;
  inputs.sampling = engine_.active();
  inputs.resolution = resolution_;
  inputs.filter = filter_mode_;
  inputs.width = width;
  inputs.height = height;
  inputs.terminal_rows = terminal_rows;
  // The same inputs make the same snapshot: while sampling is stopped, and
  // between two steps of the sampling thread, it is not worked out again.
  if (!snapshot_ || inputs != snapshot_inputs_) {
    snapshot_.reset();  // none until it is made: making it may throw
    std::swap(frame_samples_, next_samples_);
    inputs.samples = frame_samples_;
    snapshot_inputs_ = inputs;
    snapshot_ = make_snapshot(inputs);
  }
  return *snapshot_;
}

void RealTimeTUI::draw() {
  const Dimensions terminal = Terminal::Size();
  try {
    const FrameSnapshot& snapshot = take_snapshot(writer_.width(), writer_.height(), terminal.dimy);
    // Drawn again, what is on screen would look the same.
    if (!redraw_ && shown_ == snapshot && writer_.drawn_for(terminal)) {
      return;
    }
    redraw_ = false;
    shown_.reset();
    writer_.draw(render_frame(snapshot, !no_colour_), terminal);
    shown_ = snapshot;
    return;
  } catch (const std::exception& e) {
    // The frame is drawn here, not by main_component_ (it renders nothing),
    // but the log line keeps the words it has always had: logs are searched
    // for them.
    interface_logger()->error("[TUI] Exception in main_component_ render: {}", e.what());
    writer_.draw(render_error_frame(e.what()), terminal);
  } catch (...) {
    interface_logger()->error("[TUI] Unknown exception in main_component_ render");
    writer_.draw(vbox({text("TUI Render Error: Unknown") | color(Color::Red)}), terminal);
  }
}

}  // namespace tui
