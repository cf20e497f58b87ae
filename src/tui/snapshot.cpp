#include "tui/snapshot.hpp"

#include "tui/histogram_fit.hpp"

namespace tui {

FrameSnapshot make_snapshot(const FrameInputs& inputs) {
  FrameSnapshot snapshot;
  snapshot.stats = analysis::compute_stats(inputs.samples);
  snapshot.mode = inputs.mode;
  snapshot.mode_detail = inputs.mode_detail;
  snapshot.sampling = inputs.sampling;
  snapshot.resolution = inputs.resolution;
  snapshot.filter = inputs.filter;
  snapshot.terminal_rows = inputs.terminal_rows;
  snapshot.chart_rows = chart_height(inputs.height);
  const std::size_t bins = analysis::effective_bin_count(bins_for_width(inputs.width));
  if (inputs.samples.size() >= analysis::kHistogramMinSamples) {
    snapshot.histogram = analysis::build_histogram(inputs.samples, bins, inputs.filter);
  }
  return snapshot;
}

}  // namespace tui
