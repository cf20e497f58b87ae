#include "tui/real_time_tui.hpp"

#include <chrono>
#include <exception>
#include <iostream>
#include <optional>
#include <stdexcept>

#include <ftxui/component/component.hpp>
#include <ftxui/component/loop.hpp>
#include <ftxui/dom/node.hpp>
#include <ftxui/screen/terminal.hpp>

#include "tui/cursor_query_filter.hpp"
#include "tui/interface_logger.hpp"

namespace tui {

using namespace ftxui;

namespace {

// Draws its child, then takes the colours out of every cell it covers: the
// texts, the layout and the weight stay.
class Uncoloured final : public Node {
 public:
  explicit Uncoloured(Element child) : Node({std::move(child)}) {}

  void ComputeRequirement() override {
    Node::ComputeRequirement();
    requirement_ = children_[0]->requirement();
  }
  void SetBox(Box box) override {
    Node::SetBox(box);
    children_[0]->SetBox(box);
  }
  void Render(Screen& screen) override {
    Node::Render(screen);
    for (int y = box_.y_min; y <= box_.y_max; ++y) {
      for (int x = box_.x_min; x <= box_.x_max; ++x) {
        screen.PixelAt(x, y).foreground_color = Color::Default;
        screen.PixelAt(x, y).background_color = Color::Default;
      }
    }
  }
};

}  // namespace

RealTimeTUI::RealTimeTUI() : RealTimeTUI(measure::system_platform()) {}

RealTimeTUI::RealTimeTUI(measure::Platform& platform)
    : platform_(platform),
      screen_(ScreenInteractive::TerminalOutput()),
      sampler_(std::make_unique<measure::SleepSampler>(platform)),
      no_colour_(no_colour_requested()) {
  // Nothing here takes the mouse, and tracking it would keep the user from
  // selecting the numbers on screen (and flood the loop with motion events).
  screen_.TrackMouse(false);
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
  bool terminal_gone = false;
  try {
    // A stop signal ends the run as the quit key does. The handlers are ours
    // before the screen is installed, so the screen puts ours back when it is
    // removed.
    measure::catch_stop_signals();
    measure::hold_stop_signals();
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
        const measure::TerminalState terminal = measure::terminal_state();
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
        if (running_ && measure::suspension_requested()) {
          suspend(loop);
        }
        if (running_ && measure::caught_stop_signal() != 0) {
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
  measure::catch_stop_signals();
  while (measure::caught_stop_signal() == 0 && measure::terminal_state() == measure::TerminalState::Background) {
    measure::suspend();
    // Where stopping is refused (an orphaned job), wait without spinning.
    if (measure::terminal_state() == measure::TerminalState::Background) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
  if (measure::caught_stop_signal() != 0) {
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
  measure::hold_stop_signals();
  loop.emplace(&screen_, main_component_);
  measure::catch_stop_signals();
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
  measure::suspend();
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

Element RealTimeTUI::render_frame() {
  Element frame = compose_frame();
  if (no_colour_) {
    frame = std::make_shared<Uncoloured>(std::move(frame));
  }
  return frame;
}

Element RealTimeTUI::compose_frame() {
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
