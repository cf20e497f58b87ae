#include "tui/timer_resolution.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "support/fake_console.hpp"
#include "support/fake_placement.hpp"
#include "support/fake_process.hpp"
#include "support/fake_waits.hpp"
#include "tui/real_time_tui.hpp"

namespace tui {
namespace {

using ftxui::Event;

TEST(TimerResolution, StepsStopAt0AndSaturate) {
  constexpr std::uint32_t kMax = std::numeric_limits<std::uint32_t>::max();
  struct Case {
    std::uint32_t current;
    std::int32_t step;
    std::uint32_t stepped;
  };
  for (const auto& c : {Case{500, 1, 501}, Case{500, -1, 499}, Case{15'625, -100, 15'525}, Case{1, -1, 0},
                        Case{50, -100, 0}, Case{kMax - 50, 100, kMax}, Case{kMax, 1, kMax}}) {
    EXPECT_EQ(step_resolution(c.current, c.step), c.stepped) << c.current << " " << c.step;
  }
}

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
    testing_support::FakeWaits waits;
    testing_support::FakeProcess process;
    testing_support::FakeConsole console;
    testing_support::FakePlacement placement;
    const auto resolution = waits.resolution = measure::TimerResolution{15'625, 500, 500};
    if (c.query_fails) {
      waits.resolution.reset();
    }
    waits.request_refused = c.request_refused;
    waits.granted = [&](std::uint32_t) { return c.granted; };
    RealTimeTUI ui({waits, process, console, placement});
    ui.update_timer_resolution();
    for (const auto& key : c.keys) {
      ui.handle_event(key);
    }
    ui.update_timer_resolution();
    EXPECT_EQ(waits.requests, c.requests);
    EXPECT_EQ(ui.take_snapshot(80, 30, 30).resolution.current_us, c.shown);
    waits.resolution = resolution;
    ui.update_timer_resolution();
    EXPECT_EQ(waits.requests, c.requests) << "a step is applied once, or dropped";
  }
}

}  // namespace
}  // namespace tui
