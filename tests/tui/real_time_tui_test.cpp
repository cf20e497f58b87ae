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

// In a terminal shorter than 30 rows the frame asks for no more rows than it
// has, keeping both borders on screen; in a taller one it asks for 30 as usual.
TEST(RealTimeTUI, FrameFitsATerminalOfFewerThan30Rows) {
  FakePlatform platform;
  RealTimeTUI ui(platform);
  RealTimeTUITestPeer peer(ui);
  for (const int rows : {5, 24, 29}) {
    peer.terminal_rows() = rows;
    auto frame = peer.render_frame();
    frame->ComputeRequirement();
    EXPECT_EQ(frame->requirement().min_y, rows);
    auto screen = ftxui::Screen::Create(ftxui::Dimension::Fixed(80), ftxui::Dimension::Fixed(rows));
    ftxui::Render(screen, frame);
    EXPECT_EQ(screen.at(0, 0), "╭") << rows << " rows";
    EXPECT_EQ(screen.at(0, rows - 1), "╰") << rows << " rows";
  }
  peer.terminal_rows() = 100;
  auto frame = peer.render_frame();
  frame->ComputeRequirement();
  EXPECT_GE(frame->requirement().min_y, 30);
  EXPECT_LT(frame->requirement().min_y, 100);
}

}  // namespace
}  // namespace tui
