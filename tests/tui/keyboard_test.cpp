#include <gtest/gtest.h>

#include <mutex>

#include <ftxui/component/event.hpp>

#include "support/fake_platform.hpp"
#include "support/tui_peer.hpp"
#include "tui/real_time_tui.hpp"

namespace tui {
namespace {

using ftxui::Event;
using enum measure::SleepMode;

// Keys pressed in turn, each on a full buffer and histogram. The arrow keys
// are tried with the timer resolution, s and q with the sampling thread.
TEST(Keyboard, EachKeyAndItsEffect) {
  testing_support::FakePlatform platform;
  RealTimeTUI ui{platform};
  RealTimeTUITestPeer peer{ui};
  struct Case {
    Event key;
    bool handled;
    measure::SleepMode mode;
    std::int32_t filter;
    bool clears;
  };
  for (const auto& c : {
           // A new method empties the buffer: its samples would mix into the new one's.
           Case{Event::Character('m'), true, BusyWait, 0, true},
           Case{Event::Character('M'), true, HighPrecisionSleep, 0, true},
           Case{Event::Character('m'), true, Sleep, 0, true},
           Case{Event::Character('C'), true, Sleep, 0, true},
           Case{Event::Character('f'), true, Sleep, 1, false},
           Case{Event::Character('F'), true, Sleep, 2, false},
           Case{Event::Character('f'), true, Sleep, 0, false},
           Case{Event::Custom, false, Sleep, 0, false},
           Case{Event::Character('x'), false, Sleep, 0, false},
           Case{Event::Character("mm"), false, Sleep, 0, false},
           Case{Event::ArrowLeft, false, Sleep, 0, false},
       }) {
    SCOPED_TRACE(testing::PrintToString(c.key.input()));
    {
      const std::lock_guard lock(peer.data_mutex());
      peer.sampler().samples_.assign(50, 1000);
    }
    peer.update_histogram();
    EXPECT_EQ(peer.handle_event(c.key), c.handled);
    EXPECT_EQ(peer.sampler().mode_, c.mode);
    EXPECT_EQ(peer.filter_mode(), c.filter);
    EXPECT_EQ(peer.sampler().samples_.size(), c.clears ? 0U : 50U);
    EXPECT_EQ(peer.max_bin_count(), c.clears ? 0 : 50);
    EXPECT_FALSE(peer.resolution_change_pending());
    EXPECT_FALSE(peer.sampling_active());
  }
}

}  // namespace
}  // namespace tui
