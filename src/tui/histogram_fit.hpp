#pragma once

// Fitting the histogram to the screen: bins to its width, bars to its height,
// labels to their slots.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tui {

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

}  // namespace tui
