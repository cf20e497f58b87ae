// Random sequences of events, control keys among them, fed to the keyboard
// handler while the sampling thread runs, with screen passes (resolution
// update and a frame of random size) in between. Whatever the order, the
// invariants hold: at most 500 samples, filter and wait method in range, at
// most one sampling thread, a running thread exactly when sampling is on, and
// events outside the key table change nothing.
#include <gtest/gtest.h>

#include <ftxui/component/mouse.hpp>
#include <ftxui/screen/screen.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/fake_platform.hpp"
#include "support/tui_peer.hpp"
#include "tui/real_time_tui.hpp"

namespace tui {
namespace {

using ftxui::Event;

// Counts the sampling threads alive at one time. Each thread asks for its
// priority first thing; a thread-local guard counts it out when it ends.
class ThreadCountingPlatform : public testing_support::FakePlatform {
 public:
  std::atomic<int> live{0};
  std::atomic<int> most_live{0};

  bool set_thread_priority_time_critical() override {
    struct CountOut {
      std::atomic<int>* live;
      ~CountOut() { --*live; }
    };
    thread_local CountOut count_out{&live};
    const int now = ++live;
    int most = most_live.load();
    while (now > most && !most_live.compare_exchange_weak(most, now)) {
    }
    return true;
  }
};

std::vector<Event> control_keys() {
  std::vector<Event> keys;
  for (const char c : std::string("mMcCsSfF")) {
    keys.push_back(Event::Character(c));
  }
  keys.insert(keys.end(), {Event::ArrowUp, Event::ArrowDown, Event::ArrowUpCtrl, Event::ArrowDownCtrl});
  return keys;
}

std::vector<Event> unknown_events() {
  ftxui::Mouse click;
  click.button = ftxui::Mouse::Left;
  click.motion = ftxui::Mouse::Pressed;
  click.x = 10;
  click.y = 5;
  return {Event::Character('x'),
          Event::Character('1'),
          Event::Character(' '),
          Event::Character("é"),
          Event::Character("🎮"),
          Event::Character("qq"),
          Event::Return,
          Event::Tab,
          Event::TabReverse,
          Event::Escape,
          Event::Backspace,
          Event::Delete,
          Event::Home,
          Event::End,
          Event::PageUp,
          Event::PageDown,
          Event::F1,
          Event::F12,
          Event::ArrowLeft,
          Event::ArrowRight,
          Event::ArrowLeftCtrl,
          Event::Custom,
          Event::Special(""),
          Event::Special("\x1b["),
          Event::Special("\x1b[1;5"),
          Event::Special("\x1b[999999999999A"),
          Event::Special("\x1b[1;3A"),
          Event::Special(std::string("\0", 1)),
          Event::Special("\xff\xfe"),
          Event::Mouse("\x1b[<0;10;5M", click),
          Event::CursorReporting("\x1b[12;1R", 1, 12)};
}

struct ViewState {
  std::int32_t mode;
  std::int32_t filter;
  bool sampling;
  bool resolution_pending;
  std::int32_t resolution_step;
  bool operator==(const ViewState&) const = default;
};

class RandomEvents : public ::testing::Test {
 protected:
  RandomEvents() {
    // Many short waits per step, so the buffer fills and wraps quickly.
    platform_.tick = 5;
    platform_.sleep_counts = 10;
  }

  ViewState view() {
    const std::lock_guard lock(peer_.data_mutex());
    return {static_cast<std::int32_t>(peer_.sampler().mode_), peer_.filter_mode().load(),
            peer_.sampling_active().load(), peer_.resolution_change_pending().load(), peer_.resolution_step().load()};
  }

  void check_invariants(const std::string& where) {
    SCOPED_TRACE(where);
    {
      const std::lock_guard lock(peer_.data_mutex());
      const std::size_t size = peer_.sampler().samples_.size();
      EXPECT_LE(size, 500U);
      largest_buffer_ = std::max(largest_buffer_, size);
      const auto mode = static_cast<std::int32_t>(peer_.sampler().mode_);
      EXPECT_TRUE(mode >= 0 && mode <= 2) << "mode " << mode;
      // The fake records every call; the sampling thread only uses it under
      // this lock, so it can be emptied here to keep the test's memory flat.
      platform_.calls.clear();
    }
    const int filter = peer_.filter_mode();
    EXPECT_TRUE(filter >= 0 && filter <= 2) << "filter " << filter;
    const int step = peer_.resolution_step();
    EXPECT_TRUE(step == 0 || step == 1 || step == -1 || step == 100 || step == -100) << "step " << step;
    EXPECT_LE(platform_.most_live.load(), 1);
    const bool sampling = peer_.sampling_active();
    EXPECT_EQ(peer_.sampling_thread().joinable(), sampling);
    if (!sampling) {
      EXPECT_EQ(platform_.live.load(), 0);
    }
  }

  // What the screen loop does between two batches of events; now and then it
  // waits as long as the loop does, so the buffer fills up.
  void screen_pass(std::mt19937& random) {
    if (std::uniform_int_distribution(0, 9)(random) == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(16));
    }
    peer_.update_timer_resolution();
    std::uniform_int_distribution width(1, 300);
    std::uniform_int_distribution height(1, 100);
    auto screen =
        ftxui::Screen::Create(ftxui::Dimension::Fixed(width(random)), ftxui::Dimension::Fixed(height(random)));
    ftxui::Render(screen, peer_.render_frame());
  }

  void run_sequence(std::uint32_t seed, int length) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const auto controls = control_keys();
    const auto unknown = unknown_events();
    std::uniform_int_distribution<std::size_t> pick_control(0, controls.size() - 1);
    std::uniform_int_distribution<std::size_t> pick_unknown(0, unknown.size() - 1);
    std::uniform_int_distribution percent(0, 99);

    peer_.running() = true;
    peer_.start_sampling();
    for (int i = 0; i < length; ++i) {
      if (percent(random) < 60) {
        const auto& key = controls[pick_control(random)];
        EXPECT_TRUE(peer_.handle_event(key)) << key.input();
      } else {
        const auto& event = unknown[pick_unknown(random)];
        const ViewState before = view();
        EXPECT_FALSE(peer_.handle_event(event)) << event.input();
        EXPECT_EQ(view(), before) << "changed by " << event.input();
      }
      if (percent(random) < 30) {
        screen_pass(random);
      }
      check_invariants("event " + std::to_string(i));
    }
    EXPECT_TRUE(peer_.handle_event(Event::Character(percent(random) < 50 ? 'q' : 'Q')));
    EXPECT_FALSE(peer_.running());
    EXPECT_FALSE(peer_.sampling_active());
    EXPECT_FALSE(peer_.sampling_thread().joinable());
    EXPECT_EQ(platform_.live.load(), 0);
    check_invariants("after quit");
  }

  std::size_t largest_buffer_ = 0;
  ThreadCountingPlatform platform_;
  RealTimeTUI ui_{platform_};
  RealTimeTUITestPeer peer_{ui_};
};

TEST_F(RandomEvents, InvariantsHoldForAnyOrder) {
  for (std::uint32_t seed = 1; seed <= 8; ++seed) {
    run_sequence(seed, 250);
    if (HasFailure()) {
      return;
    }
  }
  EXPECT_EQ(largest_buffer_, 500U) << "the buffer never filled: the bound was not put to the test";
}

}  // namespace
}  // namespace tui
