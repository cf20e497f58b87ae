#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <spdlog/sinks/ostream_sink.h>
#include <spdlog/spdlog.h>

#include "support/fake_platform.hpp"
#include "support/tui_peer.hpp"
#include "tui/real_time_tui.hpp"

namespace tui {
namespace {

using ftxui::Event;
using testing_support::FakePlatform;
constexpr std::uint32_t kMax = std::numeric_limits<std::uint32_t>::max();

struct Interface {
  FakePlatform platform;
  RealTimeTUI ui{platform};
  RealTimeTUITestPeer peer{ui};
};

// A pass, arrow keys, a pass: what is asked of the system (100 ns units) and
// what is shown (whole microseconds).
TEST(TimerResolution, ArrowKeysStepTheInterval) {
  struct Case {
    const char* name;
    std::vector<Event> keys;
    std::uint32_t current;
    std::vector<std::uint32_t> requests;
    std::uint32_t shown_us;
    std::function<void(FakePlatform&)> setup = [](FakePlatform&) {};
  };
  const auto answers_5007 = [](FakePlatform& f) { f.granted = [](std::uint32_t) { return 5'007U; }; };
  const auto refuses = [](FakePlatform& f) { f.set_status = static_cast<measure::NtStatus>(0xC000000D); };
  const auto throws = [](FakePlatform& f) {
    f.granted = [](std::uint32_t) -> std::uint32_t { throw std::runtime_error("no"); };
  };
  const auto unread = [](FakePlatform& f) { f.query_status = static_cast<measure::NtStatus>(0xC0000001); };
  const Case cases[] = {
      {"Up", {Event::ArrowUp}, 5'000, {5'010}, 501},
      {"Down", {Event::ArrowDown}, 5'009, {4'990}, 499},
      {"Ctrl+Up", {Event::ArrowUpCtrl}, 5'000, {6'000}, 600},
      {"Ctrl+Down", {Event::ArrowDownCtrl}, 156'250, {155'250}, 15'525},
      {"the last key of a pass wins", {Event::ArrowUp, Event::ArrowDown}, 5'000, {4'990}, 499},
      {"stops at 0 instead of wrapping", {Event::ArrowDownCtrl}, 500, {0}, 0},
      {"reaches exactly 0", {Event::ArrowDown}, 10, {0}, 0},
      {"saturates instead of wrapping", {Event::ArrowUpCtrl}, kMax, {kMax}, kMax / 10},
      {"the system's answer is shown", {Event::ArrowUp}, 5'000, {5'010}, 500, answers_5007},
      {"a refused request changes nothing", {Event::ArrowUp}, 5'000, {5'010}, 500, refuses},
      {"a throwing request changes nothing", {Event::ArrowUp}, 5'000, {5'010}, 500, throws},
      {"nothing to step from before a query succeeds", {Event::ArrowUp}, 5'000, {}, 0, unread},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Interface i;
    i.platform.current = c.current;
    c.setup(i.platform);
    i.peer.update_timer_resolution();
    for (const auto& key : c.keys) {
      EXPECT_TRUE(i.peer.handle_event(key));
    }
    EXPECT_NO_THROW(i.peer.update_timer_resolution());
    EXPECT_EQ(i.platform.set_requests, c.requests);
    EXPECT_EQ(i.peer.current_resolution_us(), c.shown_us);
    EXPECT_FALSE(i.peer.resolution_change_pending());
    i.platform.query_status = 0;
    i.peer.update_timer_resolution();
    EXPECT_EQ(i.platform.set_requests, c.requests) << "a step is applied once, or dropped";
  }
}

TEST(TimerResolution, EveryPassReadsTheSystem) {
  Interface i;
  i.peer.resolution_change_pending() = true;  // with a step of 0: nothing to ask
  i.peer.update_timer_resolution();
  i.platform.current = 10'001;  // changed by another program
  i.peer.update_timer_resolution();
  EXPECT_EQ(i.peer.current_resolution_us(), 1'000U);
  i.platform.query_status = 1;  // a failed query leaves the value as it was
  i.platform.current = 5'000;
  i.peer.update_timer_resolution();
  EXPECT_EQ(i.peer.current_resolution_us(), 1'000U);
  EXPECT_TRUE(i.platform.set_requests.empty());
  EXPECT_FALSE(i.peer.resolution_change_pending());
}

// The interface logs through "main", as the entry registers it; the line is
// written before the request, whether that then succeeds or not.
TEST(TimerResolution, TheDebugLineComesBeforeTheRequest) {
  std::ostringstream out;
  auto logger = std::make_shared<spdlog::logger>("main", std::make_shared<spdlog::sinks::ostream_sink_st>(out));
  logger->set_pattern("[%l] %v");
  logger->set_level(spdlog::level::debug);
  spdlog::register_logger(logger);
  const auto log = [&] {
    std::string text = out.str();
    std::erase(text, '\r');  // Windows line ends
    return text;
  };
  Interface i;
  std::string seen_at_request;
  i.platform.granted = [&](std::uint32_t v) {
    seen_at_request = log();
    return v;
  };
  i.peer.handle_event(Event::ArrowDownCtrl);
  i.peer.update_timer_resolution();
  const std::string first = "[debug] [TUI] Current Resolution: 15625μs, New Resolution: 15525μs\n";
  EXPECT_EQ(seen_at_request, first);
  i.platform.set_status = 1;
  i.peer.handle_event(Event::ArrowUp);
  i.peer.update_timer_resolution();
  EXPECT_EQ(log(), first + "[debug] [TUI] Current Resolution: 15525μs, New Resolution: 15526μs\n");
  spdlog::drop("main");
}

}  // namespace
}  // namespace tui
