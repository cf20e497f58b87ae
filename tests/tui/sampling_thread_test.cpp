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

TEST(SamplingThread, RaisedFirstStartedOnceFailuresPausedAndEndedByRunning) {
  FakePlatform platform;
  { RealTimeTUI idle(platform); }  // no run: no thread, no priority request
  EXPECT_EQ(platform.priority_class_requests + platform.thread_priority_requests, 0);
  platform.on_wait = [] { throw std::runtime_error("wait failed"); };
  RealTimeTUI ui(platform);
  RealTimeTUITestPeer peer(ui);
  peer.running() = true;
  const auto started = std::chrono::steady_clock::now();
  peer.start_sampling();
  peer.start_sampling();  // already sampling: changes nothing
  std::this_thread::sleep_for(50ms);
  platform.locked([&](FakePlatform& f) {
    EXPECT_EQ(f.priority_class_requests + f.thread_priority_requests, 2);
    EXPECT_EQ(f.waits_at_normal_priority, 0) << "raised before its first wait";
    // Failed steps are swallowed, one a pause at most: without the pause, thousands.
    EXPECT_TRUE(f.waits >= 1 && f.waits <= (std::chrono::steady_clock::now() - started) / 5ms + 1) << f.waits;
    f.on_wait = nullptr;
  });
  const auto samples = [&] { return peer.with_sampler([](auto& s) { return s.samples_.size(); }); };
  for (const auto end = std::chrono::steady_clock::now() + 15s; samples() < 3;) {
    ASSERT_LT(std::chrono::steady_clock::now(), end) << "the thread does not measure after a failure";
    std::this_thread::sleep_for(1ms);
  }
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

}  // namespace
}  // namespace tui
