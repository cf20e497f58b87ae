#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include <ftxui/component/event.hpp>

#include "support/fake_platform.hpp"
#include "support/screen_cells.hpp"
#include "support/tui_peer.hpp"
#include "tui/real_time_tui.hpp"

namespace tui {
namespace {

using ftxui::Event;
using measure::SleepMode;
using testing_support::column_of;
using testing_support::draw;
using testing_support::FakePlatform;

class Keyboard : public ::testing::Test {
 protected:
  std::size_t sample_count() {
    const std::lock_guard lock(peer.data_mutex());
    return peer.sampler().samples_.size();
  }

  // A buffer and a model as a full rebuild leaves them.
  void fill() {
    {
      const std::lock_guard lock(peer.data_mutex());
      peer.sampler().samples_.assign(50, 1000);
    }
    peer.update_histogram();
  }

  SleepMode mode() {
    const std::lock_guard lock(peer.data_mutex());
    return peer.sampler().mode_;
  }

  FakePlatform platform;
  RealTimeTUI ui{platform};
  RealTimeTUITestPeer peer{ui};
};

TEST_F(Keyboard, ModeKeyCyclesTheMethodAndEmptiesTheBufferEachTime) {
  const std::vector<SleepMode> expected{SleepMode::BusyWait, SleepMode::HighPrecisionSleep, SleepMode::Sleep};
  for (std::size_t press = 0; press < expected.size(); ++press) {
    fill();
    ASSERT_GT(peer.max_bin_count(), 0);
    const auto labels = peer.bin_labels();
    EXPECT_TRUE(peer.handle_event(Event::Character(press == 1 ? 'M' : 'm')));
    EXPECT_EQ(mode(), expected[press]);
    EXPECT_EQ(sample_count(), 0U);
    EXPECT_EQ(peer.bin_counts(), std::vector<std::int32_t>(32, 0));
    EXPECT_EQ(peer.max_bin_count(), 0);
    EXPECT_EQ(peer.bin_labels(), labels) << "labels stay until the next rebuild";
  }
}

TEST_F(Keyboard, NextFrameShowsTheChange) {
  peer.handle_event(Event::Character('m'));
  peer.handle_event(Event::Character('f'));
  EXPECT_GE(column_of(draw(peer.render_stats_panel(), 120, 3), 0, "⚙️ Mode: BusyWait"), 0);
  fill();
  EXPECT_GE(column_of(draw(peer.render_histogram(80, 30), 100, 1), 0, "Filter [IQR]"), 0);
}

TEST_F(Keyboard, ClearKeyEmptiesBufferAndCounts) {
  fill();
  EXPECT_TRUE(peer.handle_event(Event::Character('c')));
  EXPECT_EQ(sample_count(), 0U);
  EXPECT_EQ(peer.bin_counts(), std::vector<std::int32_t>(32, 0));
  EXPECT_EQ(peer.max_bin_count(), 0);
  EXPECT_EQ(mode(), SleepMode::Sleep);
  EXPECT_TRUE(peer.handle_event(Event::Character('C'))) << "clearing an empty buffer is still handled";
  EXPECT_EQ(sample_count(), 0U);
}

TEST_F(Keyboard, StartStopKeyKeepsTheSamplesAndOneThread) {
  // The fake's sleep moves its counter on at once, so the thread records a
  // sample every pause. Only the thread uses the fake while it runs.
  peer.running() = true;
  EXPECT_TRUE(peer.handle_event(Event::Character('s')));
  EXPECT_TRUE(peer.sampling_active());
  EXPECT_TRUE(peer.sampling_thread().joinable());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (sample_count() < 3 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_GE(sample_count(), 3U);

  EXPECT_TRUE(peer.handle_event(Event::Character('S')));
  EXPECT_FALSE(peer.sampling_active());
  EXPECT_FALSE(peer.sampling_thread().joinable()) << "stopping joins the thread";
  const std::size_t kept = sample_count();
  EXPECT_GE(kept, 3U);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(sample_count(), kept) << "nothing samples after a stop";

  EXPECT_TRUE(peer.handle_event(Event::Character('s')));
  EXPECT_TRUE(peer.sampling_active());
  EXPECT_TRUE(peer.sampling_thread().joinable());
  EXPECT_GE(sample_count(), kept) << "a restart keeps the buffer";
}

TEST_F(Keyboard, FilterKeyCycles) {
  const std::vector<std::int32_t> expected{1, 2, 0, 1};
  for (std::size_t press = 0; press < expected.size(); ++press) {
    EXPECT_TRUE(peer.handle_event(Event::Character(press % 2 == 0 ? 'f' : 'F')));
    EXPECT_EQ(peer.filter_mode(), expected[press]);
  }
}

TEST_F(Keyboard, ArrowsStoreTheLastStep) {
  struct Case {
    Event key;
    std::int32_t step;
  };
  for (const auto& c : {Case{Event::ArrowUp, 1}, Case{Event::ArrowDown, -1}, Case{Event::ArrowUpCtrl, 100},
                        Case{Event::ArrowDownCtrl, -100}}) {
    peer.resolution_change_pending() = false;
    peer.resolution_step() = 0;
    EXPECT_TRUE(peer.handle_event(c.key));
    EXPECT_EQ(peer.resolution_step(), c.step);
    EXPECT_TRUE(peer.resolution_change_pending());
  }
  peer.resolution_change_pending() = false;
  peer.handle_event(Event::ArrowUp);
  peer.handle_event(Event::ArrowDown);
  EXPECT_EQ(peer.resolution_step(), -1) << "steps replace each other, they do not add up";
  EXPECT_TRUE(peer.resolution_change_pending());
}

TEST_F(Keyboard, OtherEventsAreNotHandledAndChangeNothing) {
  fill();
  for (const auto& event : {Event::Custom, Event::Character('x'), Event::Return, Event::ArrowLeft,
                            Event::ArrowRightCtrl, Event::Character("mm"), Event::Character(' ')}) {
    EXPECT_FALSE(peer.handle_event(event)) << event.input();
  }
  EXPECT_EQ(sample_count(), 50U);
  EXPECT_EQ(mode(), SleepMode::Sleep);
  EXPECT_EQ(peer.filter_mode(), 0);
  EXPECT_FALSE(peer.resolution_change_pending());
  EXPECT_EQ(peer.resolution_step(), 0);
  EXPECT_FALSE(peer.sampling_active());
  EXPECT_GT(peer.max_bin_count(), 0);
}

TEST_F(Keyboard, QuitKeyStopsSampling) {
  peer.running() = true;
  peer.start_sampling();
  EXPECT_TRUE(peer.handle_event(Event::Character('Q')));
  EXPECT_FALSE(peer.running());
  EXPECT_FALSE(peer.sampling_active());
  EXPECT_FALSE(peer.sampling_thread().joinable());
}

}  // namespace
}  // namespace tui
