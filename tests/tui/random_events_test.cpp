// Random sequences of events, control keys among them, fed to the keyboard
// handler while the sampling thread runs, with screen passes (resolution
// update and a frame of random size) in between. Whatever the order, the
// invariants hold: at most 500 samples, filter and wait method in range, at
// most one sampling thread (a new one only after a stop), a thread exactly
// when sampling is on, and events outside the key table are refused and
// change nothing.
#include <gtest/gtest.h>

#include <ftxui/component/mouse.hpp>
#include <ftxui/screen/screen.hpp>

#include <algorithm>
#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "support/fake_platform.hpp"
#include "support/tui_peer.hpp"
#include "tui/real_time_tui.hpp"

namespace tui {
namespace {

using ftxui::Event;

TEST(RandomEvents, InvariantsHoldForAnyOrder) {
  testing_support::FakePlatform platform;
  platform.tick = 5;  // many short waits a step, so the buffer fills and wraps quickly
  platform.sleep_counts = 10;
  RealTimeTUI ui(platform);
  RealTimeTUITestPeer peer(ui);

  std::vector<Event> keys = {Event::ArrowUp, Event::ArrowDown, Event::ArrowUpCtrl, Event::ArrowDownCtrl};
  for (const char c : std::string("mMcCsSfF")) {
    keys.push_back(Event::Character(c));
  }
  ftxui::Mouse click;
  click.button = ftxui::Mouse::Left;
  std::vector<Event> unknown = {Event::Return,    Event::Escape,        Event::F1,
                                Event::ArrowLeft, Event::ArrowLeftCtrl, Event::Custom};
  unknown.push_back(Event::Mouse("\x1b[<0;10;5M", click));
  unknown.push_back(Event::CursorReporting("\x1b[12;1R", 1, 12));
  for (const char* text : {"x", " ", "é", "qq"}) {
    unknown.push_back(Event::Character(text));
  }
  for (const std::string& bytes : {std::string("\x1b[1;5"), std::string("\0", 1), std::string("\xff\xfe")}) {
    unknown.push_back(Event::Special(bytes));
  }
  const auto state = [&] {
    const std::lock_guard lock(peer.data_mutex());
    return std::tuple{static_cast<int>(peer.sampler().mode_), peer.filter_mode().load(), peer.sampling_active().load(),
                      peer.resolution_change_pending().load(), peer.resolution_step().load()};
  };

  std::size_t fullest = 0;
  for (std::uint32_t seed = 1; seed <= 8 && !HasFailure(); ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const auto percent = [&] { return std::uniform_int_distribution(0, 99)(random); };
    const auto pick = [&](const std::vector<Event>& pool) -> const Event& { return pool[random() % pool.size()]; };
    peer.running() = true;
    peer.start_sampling();
    // Every thread raises its priority once; only a start from idle may add one.
    int starts_from_idle = platform.locked([](auto& fake) { return fake.thread_priority_requests; }) + 1;
    bool was_sampling = true;
    for (int i = 0; i < 250; ++i) {
      SCOPED_TRACE("event " + std::to_string(i));
      if (percent() < 60) {
        EXPECT_TRUE(peer.handle_event(pick(keys)));
      } else {
        const auto before = state();
        const Event& event = pick(unknown);
        EXPECT_FALSE(peer.handle_event(event)) << event.input();
        EXPECT_EQ(state(), before) << "changed by " << event.input();
      }
      // What the screen loop does between two batches of events; now and then
      // it waits as long as the loop does, so the buffer fills up.
      if (percent() < 30) {
        if (percent() < 10) {
          std::this_thread::sleep_for(std::chrono::milliseconds(16));
        }
        peer.update_timer_resolution();
        auto screen = ftxui::Screen::Create(ftxui::Dimension::Fixed(1 + random() % 300),
                                            ftxui::Dimension::Fixed(1 + random() % 100));
        ftxui::Render(screen, peer.render_frame());
      }
      const auto [mode, filter, sampling, pending, step] = state();
      EXPECT_TRUE(mode >= 0 && mode <= 2) << "mode " << mode;
      EXPECT_TRUE(filter >= 0 && filter <= 2) << "filter " << filter;
      EXPECT_TRUE(step == 0 || step == 1 || step == -1 || step == 100 || step == -100) << "step " << step;
      starts_from_idle += sampling && !was_sampling ? 1 : 0;
      was_sampling = sampling;
      EXPECT_LE(platform.locked([](auto& fake) { return fake.thread_priority_requests; }), starts_from_idle);
      EXPECT_EQ(peer.sampling_thread().joinable(), sampling);
      const std::lock_guard lock(peer.data_mutex());
      EXPECT_LE(peer.sampler().samples_.size(), 500U);
      fullest = std::max(fullest, peer.sampler().samples_.size());
      platform.locked([](auto& fake) { fake.calls.clear(); });  // keeps the test's memory flat
    }
    EXPECT_TRUE(peer.handle_event(Event::Character(percent() < 50 ? 'q' : 'Q')));
    EXPECT_FALSE(peer.running());
    EXPECT_FALSE(peer.sampling_active());
    EXPECT_FALSE(peer.sampling_thread().joinable());
  }
  EXPECT_EQ(fullest, 500U) << "the buffer never filled: the bound was not put to the test";
}

}  // namespace
}  // namespace tui
