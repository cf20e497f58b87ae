#include <gtest/gtest.h>

#include <vector>

#include "support/fake_platform.hpp"
#include "support/tui_peer.hpp"

namespace tui {
namespace {

using ftxui::Event;

// A pass, arrow keys, a pass: what is asked of the system (100 ns units) and
// what is shown (μs).
TEST(TimerResolution, ArrowKeysAreAppliedByTheNextPass) {
  struct Case {
    std::vector<Event> keys;
    std::uint32_t granted;  // what the system reports after a request
    measure::NtStatus query_status, set_status;
    std::vector<std::uint32_t> requests;
    std::uint32_t shown_us;
  };
  for (const auto& c : {
           Case{{Event::ArrowUp, Event::ArrowDown}, 4'990, 0, 0, {4'990}, 499},  // the last key of a pass wins
           Case{{Event::ArrowUp}, 5'007, 0, 0, {5'010}, 500},                    // what the system answers is shown
           Case{{Event::ArrowUp}, 5'010, 0, 1, {5'010}, 500},                    // a refusal changes nothing
           Case{{Event::ArrowUp}, 5'010, 1, 0, {}, 0},  // nothing to step from before a reading
       }) {
    SCOPED_TRACE(c.granted);
    testing_support::FakePlatform platform;
    platform.current = 5'000;
    platform.query_status = c.query_status;
    platform.set_status = c.set_status;
    platform.granted = [&](std::uint32_t) { return c.granted; };
    RealTimeTUI ui(platform);
    RealTimeTUITestPeer peer(ui);
    peer.update_timer_resolution();
    for (const auto& key : c.keys) {
      peer.handle_event(key);
    }
    peer.update_timer_resolution();
    EXPECT_EQ(platform.set_requests, c.requests);
    EXPECT_EQ(peer.current_resolution_us(), c.shown_us);
    platform.query_status = 0;
    peer.update_timer_resolution();
    EXPECT_EQ(platform.set_requests, c.requests) << "a step is applied once, or dropped";
  }
}

}  // namespace
}  // namespace tui
