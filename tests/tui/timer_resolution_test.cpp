#include <gtest/gtest.h>

#include <vector>

#include "support/fake_platform.hpp"
#include "tui/real_time_tui.hpp"

namespace tui {
namespace {

using ftxui::Event;

// A pass, arrow keys, a pass: what is asked of the system and what is shown.
TEST(TimerResolution, ArrowKeysAreAppliedByTheNextPass) {
  struct Case {
    std::vector<Event> keys;
    std::uint32_t granted;  // what the system reports after a request
    bool query_fails, request_refused;
    std::vector<std::uint32_t> requests;
    std::uint32_t shown;
  };
  for (const auto& c : {
           Case{{Event::ArrowUp, Event::ArrowDown}, 499, false, false, {499}, 499},  // the last key of a pass wins
           Case{{Event::ArrowUp}, 500, false, false, {501}, 500},                    // what the system answers is shown
           Case{{Event::ArrowUp}, 501, false, true, {501}, 500},                     // a refusal changes nothing
           Case{{Event::ArrowUp}, 501, true, false, {}, 0},  // nothing to step from before a reading
       }) {
    SCOPED_TRACE(c.granted);
    testing_support::FakePlatform platform;
    const auto resolution = platform.resolution = measure::TimerResolution{15'625, 500, 500};
    if (c.query_fails) {
      platform.resolution.reset();
    }
    platform.request_refused = c.request_refused;
    platform.granted = [&](std::uint32_t) { return c.granted; };
    RealTimeTUI ui(platform);
    ui.update_timer_resolution();
    for (const auto& key : c.keys) {
      ui.handle_event(key);
    }
    ui.update_timer_resolution();
    EXPECT_EQ(platform.requests, c.requests);
    EXPECT_EQ(ui.take_snapshot(80, 30, 30).resolution.current_us, c.shown);
    platform.resolution = resolution;
    ui.update_timer_resolution();
    EXPECT_EQ(platform.requests, c.requests) << "a step is applied once, or dropped";
  }
}

}  // namespace
}  // namespace tui
