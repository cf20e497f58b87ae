#pragma once

// What one frame shows, worked out from the live state; two equal snapshots
// draw the same frame.
#include <algorithm>
#include <cstdint>
#include <span>
#include <string>

#include "analysis/histogram.hpp"
#include "analysis/sample_stats.hpp"
#include "measure/wait_methods.hpp"
#include "measure/waits.hpp"

namespace tui {

// The live state a frame is made from.
struct FrameInputs {
  std::span<const std::uint64_t> samples;
  measure::SleepMode mode = measure::SleepMode::Sleep;
  bool sampling = false;
  // All zero until the system has first been asked.
  measure::TimerResolution resolution;
  analysis::HistogramFilter filter = analysis::HistogramFilter::All;
  // The size of the last frame drawn: 0 × 0 before the first.
  int width = 0;
  int height = 0;
  // The terminal's rows, which the frame does not outgrow; 0 when unknown.
  int terminal_rows = 0;
  // Said after the method: the interval and condition where not the default.
  std::string mode_detail;
  // Equal inputs make equal snapshots; the samples are compared by value.
  bool operator==(const FrameInputs& other) const {
    return std::ranges::equal(samples, other.samples) && mode == other.mode && mode_detail == other.mode_detail &&
           sampling == other.sampling && resolution == other.resolution && filter == other.filter &&
           width == other.width && height == other.height && terminal_rows == other.terminal_rows;
  }
};

struct FrameSnapshot {
  analysis::SampleStats stats;
  measure::SleepMode mode = measure::SleepMode::Sleep;
  std::string mode_detail;
  bool sampling = false;
  measure::TimerResolution resolution;
  analysis::HistogramFilter filter = analysis::HistogramFilter::All;
  // Binned for the frame's width; no labels and a largest count of 0 while
  // there are too few samples to draw.
  analysis::Histogram histogram;
  // Rows of bars that the frame's height leaves.
  int chart_rows = 0;
  int terminal_rows = 0;
  bool operator==(const FrameSnapshot&) const = default;
};

FrameSnapshot make_snapshot(const FrameInputs& inputs);

}  // namespace tui
