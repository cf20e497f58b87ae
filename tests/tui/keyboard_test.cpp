#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "support/fake_platform.hpp"
#include "tui/real_time_tui.hpp"

namespace tui {
namespace {

using namespace std::chrono_literals;
using ftxui::Event;
using enum measure::SleepMode;
using enum analysis::HistogramFilter;

// Each key on an interface of its own, sampling, after `setup` (keys pressed
// before sampling starts) and with 10 samples or more, which the sampler adds
// to no longer: its waits fail from then on, so the key alone decides what
// the buffer holds. What it does to the method (and what follows it), the
// filter, the buffer, the sampling and the resolution the next pass asks for.
TEST(Keyboard, EachKeyWhileSampling) {
  struct Case {
    std::vector<Event> setup;
    bool stopped;  // sampling stopped before the key
    Event key;
    bool handled;
    measure::SleepMode mode;
    analysis::HistogramFilter filter;
    bool cleared, sampling;
    std::vector<std::uint32_t> requests = {};  // μs
    ScreenChoices choices = {};                // started with
  };
  const auto m = Event::Character('m');
  const auto f = Event::Character('f');
  const ScreenChoices given{{Hybrid, BusyWait}, std::chrono::microseconds{500}, {measure::Priority::Normal, 0, {}}};
  for (const auto& c : {
           // A new method empties the buffer: its samples would mix into the new one's.
           Case{{}, false, Event::Character('m'), true, BusyWait, All, true, true},
           Case{{m}, false, Event::Character('M'), true, HighPrecisionSleep, All, true, true},
           Case{{m, m}, false, Event::Character('m'), true, Sleep, All, true, true},
           Case{{}, false, Event::Character('C'), true, Sleep, All, true, true},
           Case{{}, false, Event::Character('c'), true, Sleep, All, true, true},
           Case{{}, false, Event::Character('f'), true, Sleep, Iqr, false, true},
           Case{{f}, false, Event::Character('F'), true, Sleep, TwoSigma, false, true},
           Case{{f, f}, false, Event::Character('f'), true, Sleep, All, false, true},
           Case{{}, false, Event::Character('s'), true, Sleep, All, false, false},
           Case{{}, true, Event::Character('S'), true, Sleep, All, false, true},
           Case{{}, false, Event::ArrowUpCtrl, true, Sleep, All, false, true, {600}},
           Case{{}, false, Event::ArrowDownCtrl, true, Sleep, All, false, true, {400}},
           Case{{}, false, Event::Custom, false, Sleep, All, false, true},
           Case{{}, false, Event::Character('x'), false, Sleep, All, false, true},
           Case{{}, false, Event::Character('q'), true, Sleep, All, false, false},
           // Started with methods of its own, m cycles through them and back to the first.
           Case{{}, false, m, true, BusyWait, All, true, true, {}, given},
           Case{{m}, false, m, true, Hybrid, All, true, true, {}, given},
       }) {
    SCOPED_TRACE(testing::PrintToString(c.key.input()) + " after " + std::to_string(c.setup.size()) + " keys");
    testing_support::FakePlatform fakes;
    testing_support::FakeWaits& waits = fakes.waits;
    waits.resolution->current_us = 500;
    waits.wait_counts = 2'000;  // 200 μs a wait: five a step
    RealTimeTUI ui{fakes.platform(), c.choices};
    ui.update_timer_resolution();
    const auto snapshot = [&] { return ui.take_snapshot(80, 30, 30); };
    for (const auto& key : c.setup) {
      ui.handle_event(key);
    }
    ASSERT_TRUE(ui.handle_event(Event::Character('s')));  // sampling starts
    for (const auto end = std::chrono::steady_clock::now() + 10s; snapshot().stats.count < 10;) {
      ASSERT_LT(std::chrono::steady_clock::now(), end) << "no samples";
      std::this_thread::sleep_for(1ms);
    }
    waits.locked([](auto& fake) { fake.on_read = [] { throw std::runtime_error("no more samples"); }; });
    if (c.stopped) {
      ui.handle_event(Event::Character('s'));
    }
    const std::uint64_t kept = snapshot().stats.count;

    EXPECT_EQ(ui.handle_event(c.key), c.handled);
    ui.update_timer_resolution();
    const FrameSnapshot s = snapshot();
    EXPECT_EQ(s.mode, c.mode);
    EXPECT_EQ(s.filter, c.filter);
    EXPECT_EQ(s.stats.count, c.cleared ? 0 : kept);
    EXPECT_EQ(s.sampling, c.sampling);
    EXPECT_EQ(s.mode_detail, mode_detail(c.choices)) << "what the frame says after the method";
    EXPECT_EQ(waits.locked([](auto& fake) { return fake.requests; }), c.requests);
    ui.quit();
  }
}

}  // namespace
}  // namespace tui
