#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace analysis {

// Fewer samples than this leave the histogram as it was.
inline constexpr std::size_t kHistogramMinSamples = 10;
// The number of bins a requested count of 0 stands for.
inline constexpr std::size_t kDefaultBinCount = 32;

// Which value range the bins cover. Any other value reads as All.
enum class HistogramFilter : std::int32_t {
  All = 0,       // smallest to largest sample, widened by a margin
  Iqr = 1,       // first to third quartile, by index
  TwoSigma = 2,  // mean ± two population standard deviations
};

// "All", "IQR" or "2σ".
const char* filter_name(HistogramFilter filter);

// All → Iqr → TwoSigma → All; any other value stays as it is.
std::int32_t next_filter(std::int32_t filter);

// The value range the bins cover, both ends included; hi > lo.
struct ValueRange {
  std::uint64_t lo = 0;
  std::uint64_t hi = 1;
};

// The range of `samples` (any order, not empty) under `filter`.
ValueRange histogram_range(std::span<const std::uint64_t> samples, HistogramFilter filter);

// Bins actually used for a requested count: 0 (or less) means 32.
std::size_t effective_bin_count(std::int64_t requested);

// The bin of `x` in a row of `bins` bins of `width` from `lo`, clamped into
// the row so that a sample equal to hi lands in the last bin.
std::size_t bin_index(std::uint64_t x, std::uint64_t lo, double width, std::size_t bins);

struct Histogram {
  // One count per bin, lowest values first.
  std::vector<std::int32_t> counts;
  // One label per bin: the text of its centre value.
  std::vector<std::string> labels;
  // Largest entry of `counts`; 0 means nothing to draw.
  std::int32_t max_count = 0;
};

// Bins `samples` (any order) over the range of `filter`; samples outside the
// range are counted nowhere. Empty input gives zero counts and no labels.
Histogram build_histogram(std::span<const std::uint64_t> samples, std::size_t bins, HistogramFilter filter);

// Fitting the histogram to the screen.

// Bins for a screen `width` cells wide: one per column inside the border, at least 8.
std::int64_t bins_for_width(int width);
// Chart rows for a screen `height` rows tall: what the other panels leave, at most 18.
int chart_height(int height);
// Every 2nd label is shown, every 8th when there are more than 32.
std::size_t label_step(std::size_t label_count);
// Rows filled for `count` when the fullest bin, `max_count`, fills `rows`.
int bar_height(std::int32_t count, int rows, std::int32_t max_count);

// Labels take at most this many bytes, and with their filler this many.
inline constexpr std::size_t kLabelBytes = 8;
inline constexpr std::size_t kLabelSlotBytes = 9;

// `label` cut to its last whole UTF-8 character within 8 bytes, so that a
// long label never ends in half a character.
std::string_view cut_label(std::string_view label);
// Spaces after a label of `label_bytes` bytes: up to 9 bytes in all, none
// for a label that had to be cut.
std::size_t label_filler(std::size_t label_bytes);

}  // namespace analysis
