#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "support/fake_platform.hpp"
#include "support/tui_peer.hpp"

namespace tui {
namespace {

using namespace std::chrono_literals;
using testing_support::FakePlatform;

// Polls `done` for up to 15 s (the machine may be shared).
template <typename Pred>
bool eventually(Pred done) {
  for (const auto end = std::chrono::steady_clock::now() + 15s; !done();) {
    if (std::chrono::steady_clock::now() > end) {
      return false;
    }
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

TEST(SamplingThread, RaisedBeforeItsFirstWaitAndStartedOnce) {
  FakePlatform platform;
  {
    RealTimeTUI idle(platform);  // no run: no thread, no priority request
  }
  EXPECT_EQ(platform.priority_class_requests + platform.thread_priority_requests, 0);
  RealTimeTUI ui(platform);
  RealTimeTUITestPeer peer(ui);
  peer.running() = true;
  peer.start_sampling();
  peer.start_sampling();  // already sampling: changes nothing
  const auto samples = [&] { return peer.with_sampler([](auto& s) { return s.samples_.size(); }); };
  ASSERT_TRUE(eventually([&] { return samples() >= 3; }));
  platform.locked([](FakePlatform& f) {
    EXPECT_EQ(f.priority_class_requests, 1);
    EXPECT_EQ(f.thread_priority_requests, 1);
    EXPECT_EQ(f.waits_at_normal_priority, 0);
  });

  // Clearing running_ alone ends the thread after its step and pause.
  peer.running() = false;
  std::this_thread::sleep_for(30ms);
  const std::size_t last = samples();
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(samples(), last);
  EXPECT_TRUE(peer.sampling_active());
  peer.stop_sampling();
  EXPECT_FALSE(peer.sampling_thread().joinable());
}

TEST(SamplingThread, AFailedStepIsSwallowedAndPaused) {
  FakePlatform platform;
  platform.on_wait = [] { throw std::runtime_error("wait failed"); };
  RealTimeTUI ui(platform);
  RealTimeTUITestPeer peer(ui);
  peer.running() = true;
  const auto started = std::chrono::steady_clock::now();
  peer.start_sampling();
  std::this_thread::sleep_for(50ms);
  const int failed = platform.locked([](FakePlatform& f) { return f.waits; });
  // One failing step a pause at most; without the pause, thousands.
  EXPECT_GE(failed, 1);
  EXPECT_LE(failed, (std::chrono::steady_clock::now() - started) / 5ms + 1);
  platform.locked([](FakePlatform& f) { f.on_wait = nullptr; });
  EXPECT_TRUE(eventually([&] { return peer.with_sampler([](auto& s) { return s.samples_.size() >= 2; }); }));
}

}  // namespace
}  // namespace tui
