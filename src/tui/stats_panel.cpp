// The statistics block: three columns of label/value rows.
#include <fmt/format.h>

#include "analysis/sample_stats.hpp"
#include "tui/real_time_tui.hpp"

namespace tui {

using namespace ftxui;

namespace {

Element row(const char* label, Color label_colour, std::string value, Color value_colour) {
  return hbox({
      text(label) | color(label_colour),
      text(std::move(value)) | bold | color(value_colour),
  });
}

Element column(Element first, Element second, Element third) {
  return vbox({std::move(first), std::move(second), std::move(third)}) | flex;
}

}  // namespace

Element RealTimeTUI::render_stats_panel() {
  analysis::SampleStats stats;
  {
    // The sampling thread waits while this lock is held: compute and let go.
    const std::lock_guard lock(data_mutex_);
    stats = sampler_->compute_stats();
  }
  // Only the keyboard writes the mode, and it runs on this thread.
  const char* mode = measure::sleep_mode_name(sampler_->mode_);
  const bool active = sampling_active_.load();

  return vbox({hbox({
      column(row("⚙️ Mode: ", Color::GrayLight, mode, Color::Cyan),
             row("    Min: ", Color::Green, format_microseconds(stats.min), Color::Yellow),
             row("    Max: ", Color::Red, format_microseconds(stats.max), Color::Yellow)),
      column(row("  Status: ", Color::GrayLight, active ? "🟢 Running" : "🔴 Stopped",
                 active ? Color::Green : Color::Red),
             row("📉 StdDev: ", Color::Magenta, format_microseconds(static_cast<std::uint64_t>(stats.stddev)),
                 Color::Yellow),
             row("📈    Avg: ", Color::Yellow, format_microseconds(stats.mean), Color::Yellow)),
      column(row("⏱️ Samples: ", Color::GrayLight, std::to_string(stats.count), Color::Yellow),
             row("      Range: ", Color::Cyan, fmt::format("{}-{} μs", max_resolution_us_, min_resolution_us_),
                 Color::Yellow),
             row("    Current: ", Color::Cyan, fmt::format("{} μs", current_resolution_us_), Color::Yellow)),
  })});
}

}  // namespace tui
