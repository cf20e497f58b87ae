#include <gtest/gtest.h>

#include "support/fake_platform.hpp"
#include "support/tui_peer.hpp"

namespace tui {
namespace {

using ftxui::Event;
using enum measure::SleepMode;

// Every key, pressed in turn while the sampling thread measures, on a buffer
// of 50 samples: what it does to the method, the filter, the buffer, the
// sampling and the timer resolution asked of the system by the next pass.
TEST(Keyboard, EachKeyWhileSampling) {
  testing_support::FakePlatform platform;
  platform.current = 5'000;
  RealTimeTUI ui{platform};
  RealTimeTUITestPeer peer{ui};
  peer.running() = true;
  peer.start_sampling();
  peer.update_timer_resolution();
  struct Case {
    Event key;
    bool handled;
    measure::SleepMode mode;
    std::int32_t filter;
    bool cleared, sampling;
    std::uint32_t request = 0;  // 100 ns units; 0 for none
  };
  for (const auto& c : {
           // A new method empties the buffer: its samples would mix into the new one's.
           Case{Event::Character('m'), true, BusyWait, 0, true, true},
           Case{Event::Character('M'), true, HighPrecisionSleep, 0, true, true},
           Case{Event::Character('m'), true, Sleep, 0, true, true},
           Case{Event::Character('C'), true, Sleep, 0, true, true},
           Case{Event::Character('f'), true, Sleep, 1, false, true},
           Case{Event::Character('F'), true, Sleep, 2, false, true},
           Case{Event::Character('f'), true, Sleep, 0, false, true},
           Case{Event::Character('s'), true, Sleep, 0, false, false},
           Case{Event::Character('S'), true, Sleep, 0, false, true},
           Case{Event::ArrowUp, true, Sleep, 0, false, true, 5'010},
           Case{Event::ArrowDown, true, Sleep, 0, false, true, 5'000},
           Case{Event::ArrowUpCtrl, true, Sleep, 0, false, true, 6'000},
           Case{Event::ArrowDownCtrl, true, Sleep, 0, false, true, 5'000},
           Case{Event::Custom, false, Sleep, 0, false, true},
           Case{Event::Character('x'), false, Sleep, 0, false, true},
           Case{Event::Character('q'), true, Sleep, 0, false, false},
       }) {
    SCOPED_TRACE(testing::PrintToString(c.key.input()));
    peer.with_sampler([](auto& sampler) { sampler.samples_.assign(50, 1000); });
    peer.set_screen_size(80, 30);
    peer.render_frame();  // builds a histogram to clear
    EXPECT_EQ(peer.handle_event(c.key), c.handled);
    peer.update_timer_resolution();
    const auto [mode, size] = peer.with_sampler([](auto& s) { return std::pair{s.mode_, s.samples_.size()}; });
    EXPECT_EQ(mode, c.mode);
    EXPECT_EQ(peer.filter_mode(), c.filter);
    // The thread may have added a sample or two since.
    EXPECT_TRUE(c.cleared ? size <= 2 : size >= 50) << size << " samples";
    EXPECT_EQ(peer.max_bin_count() == 0, c.cleared);
    EXPECT_EQ(peer.sampling_active(), c.sampling);
    EXPECT_EQ(peer.sampling_thread().joinable(), c.sampling) << "a stop joins the thread";
    EXPECT_EQ(platform.locked([](auto& f) { return f.set_requests.empty() ? 0U : f.set_requests.back(); }), c.request);
    platform.locked([](auto& f) { f.set_requests.clear(); });
  }
  EXPECT_FALSE(peer.running()) << "q ends the run";
}

}  // namespace
}  // namespace tui
