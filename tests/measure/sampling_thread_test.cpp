#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include "support/eventually.hpp"
#include "support/locked_fake_platform.hpp"
#include "support/tui_peer.hpp"
#include "tui/real_time_tui.hpp"

namespace tui {
namespace {

using namespace std::chrono_literals;
using testing_support::eventually;
using testing_support::FakePlatform;
using testing_support::LockedFakePlatform;

class SamplingThread : public ::testing::Test {
 protected:
  // `run` sets this before it starts sampling.
  void SetUp() override { peer.running() = true; }

  int sleeps() {
    return platform.locked(
        [](FakePlatform& f) { return static_cast<int>(std::count(f.calls.begin(), f.calls.end(), "sleep 1")); });
  }
  int priority_class_requests() {
    return platform.locked([](FakePlatform& f) { return f.priority_class_requests; });
  }
  int thread_priority_requests() {
    return platform.locked([](FakePlatform& f) { return f.thread_priority_requests; });
  }
  std::size_t samples() {
    const std::lock_guard lock(peer.data_mutex());
    return peer.sampler().samples_.size();
  }

  LockedFakePlatform platform;
  RealTimeTUI ui{platform};
  RealTimeTUITestPeer peer{ui};
};

TEST_F(SamplingThread, StartRaisesBothPrioritiesBeforeTheFirstWait) {
  peer.start_sampling();
  EXPECT_TRUE(peer.sampling_active());
  ASSERT_TRUE(eventually([&] { return samples() >= 3; }));
  const auto calls = platform.locked([](FakePlatform& f) { return f.calls; });
  const auto at = [&](const char* call) { return std::find(calls.begin(), calls.end(), call) - calls.begin(); };
  EXPECT_LT(at("priority class"), at("thread priority"));
  EXPECT_LT(at("thread priority"), at("sleep 1"));
  EXPECT_EQ(platform.live_threads(), 1);
}

TEST_F(SamplingThread, StartWhileRunningChangesNothing) {
  peer.start_sampling();
  ASSERT_TRUE(eventually([&] { return sleeps() >= 1; }));
  const auto handle = peer.sampling_thread().native_handle();
  peer.start_sampling();
  EXPECT_EQ(peer.sampling_thread().native_handle(), handle);
  EXPECT_EQ(priority_class_requests(), 1);
  EXPECT_EQ(thread_priority_requests(), 1);
  EXPECT_EQ(platform.live_threads(), 1);
}

TEST_F(SamplingThread, StopWhileIdleChangesNothing) {
  peer.stop_sampling();
  EXPECT_FALSE(peer.sampling_active());
  EXPECT_TRUE(peer.running());
  EXPECT_FALSE(peer.sampling_thread().joinable());
  EXPECT_TRUE(platform.locked([](FakePlatform& f) { return f.calls.empty(); }));
}

TEST_F(SamplingThread, StopThenStartJoinsAndRunsOneFreshThread) {
  peer.start_sampling();
  ASSERT_TRUE(eventually([&] { return sleeps() >= 1; }));

  peer.stop_sampling();
  EXPECT_FALSE(peer.sampling_active());
  EXPECT_FALSE(peer.sampling_thread().joinable());
  EXPECT_EQ(platform.live_threads(), 0);  // joined, not merely told to stop
  const int before = sleeps();
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(sleeps(), before);

  peer.start_sampling();
  ASSERT_TRUE(eventually([&] { return sleeps() > before; }));
  EXPECT_EQ(priority_class_requests(), 2);
  EXPECT_EQ(thread_priority_requests(), 2);
  EXPECT_EQ(platform.live_threads(), 1);
}

TEST_F(SamplingThread, ClearingRunningAloneEndsTheThreadAndLeavesTheFlag) {
  peer.start_sampling();
  ASSERT_TRUE(eventually([&] { return sleeps() >= 1; }));
  peer.running() = false;
  ASSERT_TRUE(eventually([&] { return platform.live_threads() == 0; }));
  EXPECT_TRUE(peer.sampling_active());
  EXPECT_TRUE(peer.sampling_thread().joinable());

  peer.stop_sampling();
  EXPECT_FALSE(peer.sampling_active());
  EXPECT_FALSE(peer.sampling_thread().joinable());
}

TEST_F(SamplingThread, MeasuresOnlyWithTheDataLockHeld) {
  peer.start_sampling();
  ASSERT_TRUE(eventually([&] { return sleeps() >= 1; }));
  {
    const std::lock_guard lock(peer.data_mutex());
    const int held = sleeps();
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(sleeps(), held);
  }
  const int released = sleeps();
  EXPECT_TRUE(eventually([&] { return sleeps() > released; }));
}

TEST_F(SamplingThread, AFailureInsideMeasureIsSwallowedAndThePauseStillFollows) {
  platform.locked([](FakePlatform& f) { f.on_sleep = [] { throw std::runtime_error("wait failed"); }; });
  const auto started = std::chrono::steady_clock::now();
  peer.start_sampling();
  ASSERT_TRUE(eventually([&] { return sleeps() >= 3; }));
  const int failed = sleeps();
  const auto elapsed = std::chrono::steady_clock::now() - started;
  // One failing step per pause at most; without the pause it would be thousands.
  EXPECT_LE(failed, elapsed / 5ms + 1);
  EXPECT_EQ(samples(), 0U);
  EXPECT_EQ(platform.live_threads(), 1);

  platform.locked([](FakePlatform& f) { f.on_sleep = nullptr; });
  EXPECT_TRUE(eventually([&] { return samples() >= 2; }));
  EXPECT_EQ(thread_priority_requests(), 1);  // still the first thread
}

TEST_F(SamplingThread, QuitClearsBothFlagsAndJoins) {
  peer.start_sampling();
  ASSERT_TRUE(eventually([&] { return sleeps() >= 1; }));
  ui.quit();
  EXPECT_FALSE(peer.running());
  EXPECT_FALSE(peer.sampling_active());
  EXPECT_FALSE(peer.sampling_thread().joinable());
  EXPECT_EQ(platform.live_threads(), 0);
  ui.quit();  // as the destructor does: nothing more to stop
  EXPECT_EQ(priority_class_requests(), 1);
}

TEST_F(SamplingThread, AStopFromTheThreadItselfNeverJoinsItButQuitDoes) {
  peer.start_sampling();
  // Installed after the start, so the thread object is in place when it runs.
  platform.locked([&](FakePlatform& f) { f.on_sleep = [&] { peer.stop_sampling(); }; });
  ASSERT_TRUE(eventually([&] { return !peer.sampling_active(); }));
  ASSERT_TRUE(eventually([&] { return platform.live_threads() == 0; }));
  EXPECT_TRUE(peer.sampling_thread().joinable());
  ui.quit();
  EXPECT_FALSE(peer.sampling_thread().joinable());
}

TEST_F(SamplingThread, AStartAfterAStopFromWithinWaitsForTheOldThread) {
  peer.start_sampling();
  std::atomic<bool> stopped{false};
  platform.locked([&](FakePlatform& f) {
    f.on_sleep = [&] {
      if (!stopped.exchange(true)) {  // only the first thread stops itself
        peer.stop_sampling();
      }
    };
  });
  ASSERT_TRUE(eventually([&] { return !peer.sampling_active(); }));
  peer.start_sampling();  // assigning over the unjoined thread would terminate
  EXPECT_LE(platform.live_threads(), 1);
  EXPECT_TRUE(eventually([&] { return thread_priority_requests() == 2 && sleeps() >= 3; }));
  EXPECT_EQ(platform.live_threads(), 1);
}

// The real system: the buffer fills as it would behind the screen.
TEST(SamplingThreadOnTheSystem, FillsTheBufferTo500AndQuitJoins) {
  RealTimeTUI ui;
  RealTimeTUITestPeer peer(ui);
  peer.running() = true;
  peer.start_sampling();
  const auto size = [&] {
    const std::lock_guard lock(peer.data_mutex());
    return peer.sampler().samples_.size();
  };
  EXPECT_TRUE(eventually([&] { return size() == 500; }, 15s)) << size() << " samples";
  ui.quit();
  EXPECT_FALSE(peer.sampling_thread().joinable());
  EXPECT_FALSE(peer.sampling_active());
  const std::lock_guard lock(peer.data_mutex());
  for (const auto s : peer.sampler().samples_) {
    EXPECT_GE(s, 1000U);  // a 1 ms sleep never ends early
  }
}

}  // namespace
}  // namespace tui
