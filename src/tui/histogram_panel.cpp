// The histogram block: model rebuild, bars, labels and filter title.
#include <string>

#include "analysis/format.hpp"
#include "analysis/histogram.hpp"
#include "analysis/histogram_fit.hpp"
#include "tui/real_time_tui.hpp"

namespace tui {

using namespace ftxui;

void RealTimeTUI::update_histogram() {
  const std::size_t bins = analysis::effective_bin_count(bin_count_);
  // Only this thread uses the counts, so they are sized before the lock.
  if (bin_counts_.size() != bins) {
    bin_counts_.assign(bins, 0);
  }
  const std::lock_guard lock(data_mutex_);
  const std::vector<std::uint64_t>& samples = sampler_->samples_;
  if (samples.size() < analysis::kHistogramMinSamples) {
    return;
  }
  auto histogram =
      analysis::build_histogram(samples, bins, static_cast<analysis::HistogramFilter>(filter_mode_.load()));
  bin_counts_ = std::move(histogram.counts);
  bin_labels_ = std::move(histogram.labels);
  max_bin_count_ = histogram.max_count;
}

std::string RealTimeTUI::format_microseconds(std::uint64_t us) const { return analysis::format_microseconds(us); }

Element RealTimeTUI::render_histogram() {
  bin_count_ = analysis::bins_for_width(screen_.dimx());
  update_histogram();  // takes the lock itself

  const std::lock_guard lock(data_mutex_);
  auto title = text("📊 Histogram") | bold | color(Color::Cyan);
  if (bin_counts_.empty() || bin_labels_.empty() || max_bin_count_ == 0) {
    return vbox({std::move(title), text("Not enough samples for histogram") | color(Color::Yellow)});
  }

  const int rows = analysis::chart_height(screen_.dimy());
  std::vector<int> heights;
  heights.reserve(bin_counts_.size());
  for (const std::int32_t count : bin_counts_) {
    heights.push_back(analysis::bar_height(count, rows, max_bin_count_));
  }
  // Each row is drawn as runs of equal cells: the same cells as one text per
  // bin, built with a handful of elements instead of hundreds.
  Elements chart;
  for (int r = rows; r >= 1; --r) {
    Elements runs;
    std::size_t start = 0;
    while (start < heights.size()) {
      const bool filled = heights[start] >= r;
      std::size_t end = start + 1;
      while (end < heights.size() && (heights[end] >= r) == filled) {
        ++end;
      }
      if (filled) {
        std::string bar;
        bar.reserve((end - start) * 3);
        for (std::size_t i = start; i < end; ++i) {
          bar += "█";
        }
        runs.push_back(text(std::move(bar)) | color(Color::Green));
      } else {
        runs.push_back(text(std::string(end - start, ' ')));
      }
      start = end;
    }
    chart.push_back(hbox(std::move(runs)));
  }

  Elements labels;
  const std::size_t step = analysis::label_step(bin_labels_.size());
  for (std::size_t i = 0; i < bin_labels_.size(); i += step) {
    const std::string& label = bin_labels_[i];
    labels.push_back(text(std::string(analysis::cut_label(label))) | color(Color::GrayLight));
    if (const std::size_t filler = analysis::label_filler(label.size()); filler > 0) {
      labels.push_back(text(std::string(filler, ' ')));
    }
  }

  const auto filter = static_cast<analysis::HistogramFilter>(filter_mode_.load());
  auto title_line = hbox({
      std::move(title),
      text(" - Filter [") | color(Color::GrayLight),
      text(analysis::filter_name(filter)) | bold | color(Color::Yellow),
      text("]") | color(Color::GrayLight),
  });
  return vbox({std::move(title_line), vbox(std::move(chart)), hbox(std::move(labels))});
}

}  // namespace tui
