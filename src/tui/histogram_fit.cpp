#include "tui/histogram_fit.hpp"

#include <algorithm>

namespace tui {

std::int64_t bins_for_width(int width) { return std::max<std::int64_t>(static_cast<std::int64_t>(width) - 2, 8); }

int chart_height(int height) { return std::clamp(height - 12, 0, 18); }

std::size_t label_step(std::size_t label_count) { return label_count > 32 ? 8 : 2; }

int bar_height(std::int32_t count, int rows, std::int32_t max_count) {
  if (max_count <= 0) {
    return 0;
  }
  return static_cast<int>(static_cast<std::int64_t>(count) * rows / max_count);
}

std::string_view cut_label(std::string_view label) {
  if (label.size() <= kLabelBytes) {
    return label;
  }
  std::size_t end = kLabelBytes;
  // Back off while the byte at the cut continues a character begun before it.
  while (end > 0 && (static_cast<unsigned char>(label[end]) & 0xC0U) == 0x80U) {
    --end;
  }
  return label.substr(0, end);
}

std::size_t label_filler(std::size_t label_bytes) {
  return label_bytes < kLabelSlotBytes ? kLabelSlotBytes - label_bytes : 0;
}

}  // namespace tui
