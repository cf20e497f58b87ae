#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "support/fake_platform.hpp"
#include "support/tui_peer.hpp"
#include "tui/real_time_tui.hpp"

namespace tui {
namespace {

using namespace std::chrono_literals;
using ftxui::Event;
using testing_support::FakePlatform;

// Polls `done` until it holds or `limit` has passed. The limit is generous
// because the machine may be shared; a passing test rarely waits long.
template <typename Pred>
bool eventually(Pred done, std::chrono::milliseconds limit = 15s) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) {
      return false;
    }
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

class SamplingThread : public ::testing::Test {
 protected:
  // `run` sets this before it starts sampling.
  void SetUp() override { peer.running() = true; }

  int count(const char* call) {
    return platform.locked(
        [call](FakePlatform& f) { return static_cast<int>(std::count(f.calls.begin(), f.calls.end(), call)); });
  }
  int sleeps() { return count("sleep 1"); }
  std::size_t samples() {
    const std::lock_guard lock(peer.data_mutex());
    return peer.sampler().samples_.size();
  }

  FakePlatform platform;
  RealTimeTUI ui{platform};
  RealTimeTUITestPeer peer{ui};
};

TEST_F(SamplingThread, StartAndStopKeepOneThreadAndTheSamples) {
  EXPECT_TRUE(peer.handle_event(Event::Character('s')));
  ASSERT_TRUE(eventually([&] { return samples() >= 3; }));
  const auto calls = platform.locked([](FakePlatform& f) { return f.calls; });
  const auto at = [&](const char* call) { return std::find(calls.begin(), calls.end(), call) - calls.begin(); };
  EXPECT_LT(at("priority class"), at("thread priority"));
  EXPECT_LT(at("thread priority"), at("sleep 1")) << "raised before its first wait";
  const auto handle = peer.sampling_thread().native_handle();
  peer.start_sampling();  // already running: changes nothing
  EXPECT_EQ(peer.sampling_thread().native_handle(), handle);
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(count("thread priority"), 1) << "one thread started";

  EXPECT_TRUE(peer.handle_event(Event::Character('S')));
  EXPECT_FALSE(peer.sampling_active());
  EXPECT_FALSE(peer.sampling_thread().joinable()) << "joined, not merely told to stop";
  const std::size_t kept = samples();
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(samples(), kept) << "nothing samples after a stop";

  EXPECT_TRUE(peer.handle_event(Event::Character('s')));
  EXPECT_GE(samples(), kept) << "a restart keeps the buffer";
  ASSERT_TRUE(eventually([&] { return samples() > kept; }));
  EXPECT_EQ(count("priority class"), 2);
  EXPECT_EQ(count("thread priority"), 2);
}

TEST_F(SamplingThread, ClearingRunningAloneEndsTheThreadAndLeavesTheFlag) {
  peer.start_sampling();
  ASSERT_TRUE(eventually([&] { return sleeps() >= 1; }));
  peer.running() = false;
  // Past its current step and pause the thread measures no more.
  std::this_thread::sleep_for(30ms);
  const int last = sleeps();
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(sleeps(), last);
  EXPECT_TRUE(peer.sampling_active());
  peer.stop_sampling();
  EXPECT_FALSE(peer.sampling_thread().joinable());
}

TEST_F(SamplingThread, AFailureInsideMeasureIsSwallowedAndThePauseStillFollows) {
  platform.locked([](FakePlatform& f) { f.on_sleep = [] { throw std::runtime_error("wait failed"); }; });
  const auto started = std::chrono::steady_clock::now();
  peer.start_sampling();
  ASSERT_TRUE(eventually([&] { return sleeps() >= 3; }));
  const int failed = sleeps();
  // One failing step per pause at most; without the pause it would be thousands.
  EXPECT_LE(failed, (std::chrono::steady_clock::now() - started) / 5ms + 1);
  EXPECT_EQ(samples(), 0U);

  platform.locked([](FakePlatform& f) { f.on_sleep = nullptr; });
  EXPECT_TRUE(eventually([&] { return samples() >= 2; }));
  EXPECT_EQ(count("thread priority"), 1) << "still the first thread";
}

// The real system: the buffer fills as it would behind the screen, and q ends the thread.
TEST(SamplingThreadOnTheSystem, FillsTheBufferTo500AndQuitJoins) {
  RealTimeTUI ui;
  RealTimeTUITestPeer peer(ui);
  peer.running() = true;
  peer.start_sampling();
  const auto size = [&] {
    const std::lock_guard lock(peer.data_mutex());
    return peer.sampler().samples_.size();
  };
  EXPECT_TRUE(eventually([&] { return size() == 500; })) << size() << " samples";
  EXPECT_TRUE(peer.handle_event(Event::Character('q')));
  EXPECT_FALSE(peer.running());
  EXPECT_FALSE(peer.sampling_active());
  EXPECT_FALSE(peer.sampling_thread().joinable());
  const std::lock_guard lock(peer.data_mutex());
  for (const auto s : peer.sampler().samples_) {
    EXPECT_GE(s, 1000U);  // a 1 ms sleep never ends early
  }
}

}  // namespace
}  // namespace tui
