#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

#include <spdlog/sinks/ostream_sink.h>
#include <spdlog/spdlog.h>

#include "support/fake_platform.hpp"
#include "support/tui_peer.hpp"
#include "tui/real_time_tui.hpp"

namespace tui {
namespace {

using testing_support::FakePlatform;
constexpr std::uint32_t kMax = std::numeric_limits<std::uint32_t>::max();

class TimerResolution : public ::testing::Test {
 protected:
  // What the keyboard does for an arrow key.
  void press(std::int32_t step) {
    peer.resolution_step() = step;
    peer.resolution_change_pending() = true;
  }

  FakePlatform platform;
  RealTimeTUI ui{platform};
  RealTimeTUITestPeer peer{ui};
};

// The interface logs through "main", as the entry registers it; here its
// lines go to a string.
class MainLogger {
 public:
  explicit MainLogger(spdlog::level::level_enum level) {
    auto sink = std::make_shared<spdlog::sinks::ostream_sink_st>(out_);
    logger_ = std::make_shared<spdlog::logger>("main", sink);
    logger_->set_pattern("[%l] %v");
    logger_->set_level(level);
    spdlog::register_logger(logger_);
  }
  MainLogger(const MainLogger&) = delete;
  MainLogger& operator=(const MainLogger&) = delete;
  ~MainLogger() { spdlog::drop("main"); }

  // The log as written, with Windows' "\r\n" line ends read as "\n".
  std::string text() const {
    std::string text = out_.str();
    std::erase(text, '\r');
    return text;
  }

 private:
  std::ostringstream out_;
  std::shared_ptr<spdlog::logger> logger_;
};

TEST_F(TimerResolution, QueryStoresTheReadingsInWholeMicroseconds) {
  platform.coarsest = 156'259;
  platform.finest = 5'009;
  platform.current = 10'001;
  peer.query_timer_resolution();
  EXPECT_EQ(peer.max_resolution_us(), 15'625U);
  EXPECT_EQ(peer.min_resolution_us(), 500U);
  EXPECT_EQ(peer.current_resolution_us(), 1'000U);

  // A failed query leaves them as they were.
  platform.query_status = 1;
  platform.current = 5'000;
  peer.update_timer_resolution();
  EXPECT_EQ(peer.current_resolution_us(), 1'000U);
  EXPECT_EQ(peer.max_resolution_us(), 15'625U);
}

TEST_F(TimerResolution, EveryPassQueriesEvenWithNothingPending) {
  peer.update_timer_resolution();
  EXPECT_EQ(peer.current_resolution_us(), 15'625U);
  platform.current = 10'000;  // changed by someone else
  peer.update_timer_resolution();
  EXPECT_EQ(peer.current_resolution_us(), 1'000U);
  EXPECT_TRUE(platform.set_requests.empty());
}

TEST_F(TimerResolution, RequestsAreDroppedUntilAQuerySucceeds) {
  platform.query_status = static_cast<measure::NtStatus>(0xC0000001);
  press(-1);
  peer.update_timer_resolution();
  EXPECT_FALSE(peer.resolution_change_pending());
  EXPECT_EQ(peer.resolution_step(), 0);
  EXPECT_EQ(peer.current_resolution_us(), 0U);
  EXPECT_TRUE(platform.set_requests.empty());

  // Nor is the dropped step applied once the query works.
  platform.query_status = 0;
  peer.update_timer_resolution();
  EXPECT_TRUE(platform.set_requests.empty());
}

TEST_F(TimerResolution, AStepOfZeroOnlyClearsThePendingFlag) {
  press(0);
  peer.update_timer_resolution();
  EXPECT_FALSE(peer.resolution_change_pending());
  EXPECT_TRUE(platform.set_requests.empty());
  EXPECT_EQ(peer.current_resolution_us(), 15'625U);
}

TEST_F(TimerResolution, TheNewestKeyOfAPassReplacesTheEarlierOne) {
  platform.current = 5'000;
  press(+1);
  press(-1);
  peer.update_timer_resolution();
  EXPECT_EQ(platform.set_requests, (std::vector<std::uint32_t>{4'990}));
  EXPECT_EQ(peer.current_resolution_us(), 499U);
  EXPECT_FALSE(peer.resolution_change_pending());
  EXPECT_EQ(peer.resolution_step(), 0);
}

TEST_F(TimerResolution, StepsAreAskedForIn100nsUnits) {
  press(-100);  // Ctrl+Down from 15,625 μs
  peer.update_timer_resolution();
  platform.current = 5'000;
  press(+1);  // Up from 500 μs
  peer.update_timer_resolution();
  press(+100);  // Ctrl+Up
  peer.update_timer_resolution();
  EXPECT_EQ(platform.set_requests, (std::vector<std::uint32_t>{155'250, 5'010, 6'010}));
}

TEST_F(TimerResolution, TheReportedValueIsStoredEvenWhenItDiffers) {
  platform.granted = [](std::uint32_t) { return 5'007U; };  // e.g. clamped by the system
  press(-100);
  peer.update_timer_resolution();
  EXPECT_EQ(peer.current_resolution_us(), 500U);
}

TEST_F(TimerResolution, AFailedOrThrowingRequestChangesNothing) {
  platform.set_status = static_cast<measure::NtStatus>(0xC000000D);
  press(-1);
  peer.update_timer_resolution();
  EXPECT_EQ(platform.set_requests.size(), 1U);
  EXPECT_EQ(peer.current_resolution_us(), 15'625U);

  platform.set_status = 0;
  platform.granted = [](std::uint32_t) -> std::uint32_t { throw std::runtime_error("denied"); };
  press(-1);
  EXPECT_NO_THROW(peer.update_timer_resolution());
  EXPECT_EQ(peer.current_resolution_us(), 15'625U);
  EXPECT_FALSE(peer.resolution_change_pending());
}

TEST_F(TimerResolution, AStepBelowZeroStopsAtZeroInsteadOfWrapping) {
  platform.current = 500;  // 50 μs
  press(-100);
  peer.update_timer_resolution();
  // Wrapped, this would ask for about 429 seconds.
  EXPECT_EQ(platform.set_requests, (std::vector<std::uint32_t>{0}));

  platform.current = 10;  // 1 μs: one step down reaches exactly 0
  press(-1);
  peer.update_timer_resolution();
  EXPECT_EQ(platform.set_requests.back(), 0U);
}

TEST_F(TimerResolution, HugeValuesSaturateInsteadOfWrapping) {
  platform.current = kMax;  // 429,496,729 μs
  press(+100);
  peer.update_timer_resolution();
  EXPECT_EQ(platform.set_requests, (std::vector<std::uint32_t>{kMax}));
  EXPECT_EQ(peer.current_resolution_us(), kMax / 10);
}

TEST_F(TimerResolution, TheDebugLineIsWrittenBeforeTheRequest) {
  const MainLogger log(spdlog::level::debug);
  const std::string line = "[debug] [TUI] Current Resolution: 15625μs, New Resolution: 15525μs\n";
  std::string seen_at_request;
  platform.granted = [&](std::uint32_t v) {
    seen_at_request = log.text();
    return v;
  };
  press(-100);
  peer.update_timer_resolution();
  EXPECT_EQ(seen_at_request, line);

  // Written even when the request then fails.
  platform.set_status = 1;
  press(+1);
  peer.update_timer_resolution();
  EXPECT_EQ(log.text(), line + "[debug] [TUI] Current Resolution: 15525μs, New Resolution: 15526μs\n");
}

TEST_F(TimerResolution, NoLineWhenTheLoggerIsAboveDebug) {
  const MainLogger log(spdlog::level::err);
  press(-1);
  peer.update_timer_resolution();
  EXPECT_EQ(platform.set_requests.size(), 1U);
  EXPECT_EQ(log.text(), "");
}

}  // namespace
}  // namespace tui
