#include "tui/real_time_tui.hpp"

#include <gtest/gtest.h>

#include <algorithm>

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

// The frame is bordered and asks for at least 80×30; in a terminal of fewer
// rows it asks for no more than it has, keeping both borders on screen.
TEST(RealTimeTUI, FrameIsBorderedAndFitsTheTerminalsRows) {
  FakePlatform platform;
  RealTimeTUI ui(platform);
  RealTimeTUITestPeer peer(ui);
  for (const int rows : {5, 24, 29, 30, 100}) {
    peer.terminal_rows() = rows;
    auto frame = peer.render_frame();
    frame->ComputeRequirement();
    EXPECT_GE(frame->requirement().min_x, 80);
    EXPECT_GE(frame->requirement().min_y, std::min(rows, 30)) << rows << " rows";
    EXPECT_LE(frame->requirement().min_y, rows) << rows << " rows";
    auto screen = ftxui::Screen::Create(ftxui::Dimension::Fixed(100), ftxui::Dimension::Fixed(rows));
    ftxui::Render(screen, frame);
    EXPECT_EQ(screen.at(0, 0), "╭") << rows << " rows";
    EXPECT_EQ(screen.at(99, 0), "╮") << rows << " rows";
    EXPECT_EQ(screen.at(0, rows - 1), "╰") << rows << " rows";
  }
}

}  // namespace
}  // namespace tui
