#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <spdlog/sinks/ostream_sink.h>
#include <spdlog/spdlog.h>

#include "support/fake_platform.hpp"
#include "support/tui_peer.hpp"

namespace tui {
namespace {

using ftxui::Event;
using testing_support::FakePlatform;

// A pass, arrow keys, a pass: what is asked of the system (100 ns units) and
// what is shown (whole microseconds).
TEST(TimerResolution, ArrowKeysAreAppliedByTheNextPass) {
  struct Case {
    const char* name;
    std::vector<Event> keys;
    std::vector<std::uint32_t> requests;
    std::uint32_t shown_us;
    std::function<void(FakePlatform&)> setup = [](FakePlatform&) {};
  };
  const Case cases[] = {
      {"the last key of a pass wins", {Event::ArrowUp, Event::ArrowDown}, {4'990}, 499},
      {"the system's answer is shown",
       {Event::ArrowUp},
       {5'010},
       500,
       [](FakePlatform& f) { f.granted = [](std::uint32_t) { return 5'007U; }; }},
      {"a refused request changes nothing", {Event::ArrowUp}, {5'010}, 500, [](FakePlatform& f) { f.set_status = 1; }},
      {"a throwing request changes nothing",
       {Event::ArrowUp},
       {5'010},
       500,
       [](FakePlatform& f) { f.granted = [](std::uint32_t) -> std::uint32_t { throw std::runtime_error("no"); }; }},
      {"nothing to step from before a query succeeds",
       {Event::ArrowUp},
       {},
       0,
       [](FakePlatform& f) { f.query_status = 1; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform platform;
    platform.current = 5'000;
    c.setup(platform);
    RealTimeTUI ui(platform);
    RealTimeTUITestPeer peer(ui);
    peer.update_timer_resolution();
    for (const auto& key : c.keys) {
      peer.handle_event(key);
    }
    EXPECT_NO_THROW(peer.update_timer_resolution());
    EXPECT_EQ(platform.set_requests, c.requests);
    EXPECT_EQ(peer.current_resolution_us(), c.shown_us);
    platform.query_status = 0;
    peer.update_timer_resolution();
    EXPECT_EQ(platform.set_requests, c.requests) << "a step is applied once, or dropped";
  }
}

// The interface logs through "main", as the entry registers it; the line is
// written before the request, whether that then succeeds or not.
TEST(TimerResolution, TheDebugLineComesBeforeTheRequest) {
  std::ostringstream out;
  auto logger = std::make_shared<spdlog::logger>("main", std::make_shared<spdlog::sinks::ostream_sink_st>(out));
  logger->set_pattern("%v|");
  logger->set_level(spdlog::level::debug);
  spdlog::register_logger(logger);
  FakePlatform platform;
  RealTimeTUI ui(platform);
  RealTimeTUITestPeer peer(ui);
  std::string seen_at_request;
  platform.granted = [&](std::uint32_t v) {
    seen_at_request = out.str();
    return v;
  };
  peer.handle_event(Event::ArrowDownCtrl);
  peer.update_timer_resolution();
  const std::string line = "[TUI] Current Resolution: 15625μs, New Resolution: 15525μs|";
  EXPECT_EQ(seen_at_request.substr(0, line.size()), line);
  spdlog::drop("main");
}

}  // namespace
}  // namespace tui
