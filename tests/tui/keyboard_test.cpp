#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "support/fake_console.hpp"
#include "support/fake_process.hpp"
#include "support/fake_waits.hpp"
#include "tui/real_time_tui.hpp"

namespace tui {
namespace {

using namespace std::chrono_literals;
using ftxui::Event;
using enum measure::SleepMode;
using enum analysis::HistogramFilter;

// Every key, pressed in turn while the sampling thread measures, on a buffer
// of 10 samples or more: what it does to the method, the filter, the buffer,
// the sampling and the timer resolution asked of the system by the next pass.
TEST(Keyboard, EachKeyWhileSampling) {
  testing_support::FakeWaits platform;
  testing_support::FakeProcess process;
  testing_support::FakeConsole console;
  platform.resolution->current_us = 500;
  platform.wait_counts = 2'000;  // 200 μs a wait: five a step
  RealTimeTUI ui{{platform, process, console}};
  ui.update_timer_resolution();
  const auto snapshot = [&] { return ui.take_snapshot(80, 30, 30); };
  ASSERT_TRUE(ui.handle_event(Event::Character('s')));  // sampling starts
  struct Case {
    Event key;
    bool handled;
    measure::SleepMode mode;
    analysis::HistogramFilter filter;
    bool cleared, sampling;
    std::uint32_t request = 0;  // μs; 0 for none
  };
  for (const auto& c : {
           // A new method empties the buffer: its samples would mix into the new one's.
           Case{Event::Character('m'), true, BusyWait, All, true, true},
           Case{Event::Character('M'), true, HighPrecisionSleep, All, true, true},
           Case{Event::Character('m'), true, Sleep, All, true, true},
           Case{Event::Character('C'), true, Sleep, All, true, true},
           Case{Event::Character('f'), true, Sleep, Iqr, false, true},
           Case{Event::Character('F'), true, Sleep, TwoSigma, false, true},
           Case{Event::Character('f'), true, Sleep, All, false, true},
           Case{Event::Character('s'), true, Sleep, All, false, false},
           Case{Event::Character('S'), true, Sleep, All, false, true},
           Case{Event::ArrowUp, true, Sleep, All, false, true, 501},
           Case{Event::ArrowDown, true, Sleep, All, false, true, 500},
           Case{Event::ArrowUpCtrl, true, Sleep, All, false, true, 600},
           Case{Event::ArrowDownCtrl, true, Sleep, All, false, true, 500},
           Case{Event::Custom, false, Sleep, All, false, true},
           Case{Event::Character('x'), false, Sleep, All, false, true},
           Case{Event::Character('q'), true, Sleep, All, false, false},
       }) {
    SCOPED_TRACE(testing::PrintToString(c.key.input()));
    for (const auto end = std::chrono::steady_clock::now() + 10s; snapshot().stats.count < 10;) {
      ASSERT_LT(std::chrono::steady_clock::now(), end) << "no samples";
      std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(ui.handle_event(c.key), c.handled);
    ui.update_timer_resolution();
    const FrameSnapshot s = snapshot();
    EXPECT_EQ(s.mode, c.mode);
    EXPECT_EQ(s.filter, c.filter);
    // The thread may have taken a step since: five samples.
    EXPECT_TRUE(c.cleared ? s.stats.count <= 5 : s.stats.count >= 10) << s.stats.count << " samples";
    EXPECT_EQ(s.histogram.max_count == 0, c.cleared);
    EXPECT_EQ(s.sampling, c.sampling);
    EXPECT_EQ(platform.locked([](auto& f) { return f.requests.empty() ? 0U : f.requests.back(); }), c.request);
    platform.locked([](auto& f) { f.requests.clear(); });
  }
}

}  // namespace
}  // namespace tui
