#include "tui/real_time_tui.hpp"

#include <gtest/gtest.h>

#include <ftxui/screen/screen.hpp>

#include "support/fake_platform.hpp"
#include "support/tui_peer.hpp"

namespace tui {
namespace {

using testing_support::FakePlatform;

TEST(RealTimeTUI, ConstructAndDestroyWithoutRunStartsNothing) {
  FakePlatform platform;
  {
    RealTimeTUI ui(platform);
    RealTimeTUITestPeer peer(ui);
    EXPECT_FALSE(peer.sampling_thread().joinable());
    EXPECT_FALSE(peer.running());
  }
  EXPECT_EQ(platform.priority_class_requests, 0);
  EXPECT_EQ(platform.thread_priority_requests, 0);
}

TEST(RealTimeTUI, FrameIsBorderedAndAtLeast80By30) {
  FakePlatform platform;
  RealTimeTUI ui(platform);
  RealTimeTUITestPeer peer(ui);
  auto frame = peer.render_frame();
  frame->ComputeRequirement();
  EXPECT_GE(frame->requirement().min_x, 80);
  EXPECT_GE(frame->requirement().min_y, 30);
  auto screen = ftxui::Screen::Create(ftxui::Dimension::Fixed(100), ftxui::Dimension::Fixed(40));
  ftxui::Render(screen, frame);
  EXPECT_EQ(screen.at(0, 0), "╭");
  EXPECT_EQ(screen.at(99, 0), "╮");
}

}  // namespace
}  // namespace tui
