#include "tui/panels.hpp"

#include <fmt/format.h>

#include <ftxui/dom/node.hpp>
#include <ftxui/screen/screen.hpp>

#include "analysis/format.hpp"
#include "tui/histogram_fit.hpp"

namespace tui {

using namespace ftxui;

namespace {

// Pushes what follows it to the right edge of the frame.
Element flexible_space() { return text(" ") | flex; }

Element row(const char* label, Color label_colour, std::string value, Color value_colour) {
  return hbox({
      text(label) | color(label_colour),
      text(std::move(value)) | bold | color(value_colour),
  });
}

Element column(Element first, Element second, Element third) {
  return vbox({std::move(first), std::move(second), std::move(third)}) | flex;
}

// One row of bars, as runs of equal cells: the same cells as one text per
// bin, built with a handful of elements instead of hundreds.
Element chart_row(const std::vector<int>& heights, int row_from_bottom) {
  Elements runs;
  std::size_t start = 0;
  while (start < heights.size()) {
    const bool filled = heights[start] >= row_from_bottom;
    std::size_t end = start + 1;
    while (end < heights.size() && (heights[end] >= row_from_bottom) == filled) {
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
  return hbox(std::move(runs));
}

// Draws its child, then takes the colours out of every cell it covers: the
// texts, the layout and the weight stay.
class Uncoloured final : public Node {
 public:
  explicit Uncoloured(Element child) : Node({std::move(child)}) {}

  void ComputeRequirement() override {
    Node::ComputeRequirement();
    requirement_ = children_[0]->requirement();
  }
  void SetBox(Box box) override {
    Node::SetBox(box);
    children_[0]->SetBox(box);
  }
  void Render(Screen& screen) override {
    Node::Render(screen);
    for (int y = box_.y_min; y <= box_.y_max; ++y) {
      for (int x = box_.x_min; x <= box_.x_max; ++x) {
        screen.PixelAt(x, y).foreground_color = Color::Default;
        screen.PixelAt(x, y).background_color = Color::Default;
      }
    }
  }
};

}  // namespace

Element render_header() {
  return hbox({
      text("⏲️  Quorvane V") | bold | color(Color::Blue),
      text(QUORVANE_VERSION) | bold | color(Color::Blue),
      flexible_space(),
      text(QUORVANE_HOMEPAGE "  ") | color(Color::GrayLight),
  });
}

Element render_controls() {
  // Each key in brackets and colour, the rest of its word plain.
  struct Entry {
    const char* key;
    Color colour;
    const char* rest;
  };
  static const Entry kLegend[] = {
      {"[M]", Color::Green, "ode  "},      {"[F]", Color::GreenLight, "ilter  "}, {"[C]", Color::Yellow, "lear  "},
      {"[S]", Color::Blue, "tart/Stop  "}, {"[↑↓]", Color::Cyan, "Timer  "},      {"[Q]", Color::Red, "uit"},
  };
  Elements line{text("🎮 Controls: ") | bold | color(Color::White)};
  for (const auto& entry : kLegend) {
    line.push_back(text(entry.key) | bold | color(entry.colour));
    line.push_back(text(entry.rest));
  }
  line.push_back(flexible_space());
  // At 80 columns, the width the frame asks for, the legend leaves 7 of the 78
  // inner cells: one for the space before the attribution, two after it.
  line.push_back(text("C++  ") | color(Color::GrayLight));
  return hbox(std::move(line));
}

Element render_stats_panel(const FrameSnapshot& snapshot) {
  const analysis::SampleStats& stats = snapshot.stats;
  const bool active = snapshot.sampling;
  const measure::TimerResolution& resolution = snapshot.resolution;
  return vbox({hbox({
      column(row("⚙️ Mode: ", Color::GrayLight,
                 snapshot.mode_detail.empty()
                     ? std::string(measure::sleep_mode_name(snapshot.mode))
                     : fmt::format("{} {}", measure::sleep_mode_name(snapshot.mode), snapshot.mode_detail),
                 Color::Cyan),
             row("    Min: ", Color::Green, analysis::format_microseconds(stats.min), Color::Yellow),
             row("    Max: ", Color::Red, analysis::format_microseconds(stats.max), Color::Yellow)),
      column(row("  Status: ", Color::GrayLight, active ? "🟢 Running" : "🔴 Stopped",
                 active ? Color::Green : Color::Red),
             row("📉 StdDev: ", Color::Magenta, analysis::format_microseconds(static_cast<std::uint64_t>(stats.stddev)),
                 Color::Yellow),
             row("📈    Avg: ", Color::Yellow, analysis::format_microseconds(stats.mean), Color::Yellow)),
      column(row("⏱️ Samples: ", Color::GrayLight, std::to_string(stats.count), Color::Yellow),
             row("      Range: ", Color::Cyan, fmt::format("{}-{} μs", resolution.coarsest_us, resolution.finest_us),
                 Color::Yellow),
             row("    Current: ", Color::Cyan, fmt::format("{} μs", resolution.current_us), Color::Yellow)),
  })});
}

Element render_histogram(const FrameSnapshot& snapshot) {
  const analysis::Histogram& histogram = snapshot.histogram;
  auto title = text("📊 Histogram") | bold | color(Color::Cyan);
  if (histogram.counts.empty() || histogram.labels.empty() || histogram.max_count == 0) {
    return vbox({std::move(title), text("Not enough samples for histogram") | color(Color::Yellow)});
  }

  std::vector<int> heights;
  heights.reserve(histogram.counts.size());
  for (const std::int32_t count : histogram.counts) {
    heights.push_back(bar_height(count, snapshot.chart_rows, histogram.max_count));
  }
  Elements chart;
  for (int r = snapshot.chart_rows; r >= 1; --r) {
    chart.push_back(chart_row(heights, r));
  }

  Elements labels;
  const std::size_t step = label_step(histogram.labels.size());
  for (std::size_t i = 0; i < histogram.labels.size(); i += step) {
    const std::string& label = histogram.labels[i];
    labels.push_back(text(std::string(cut_label(label))) | color(Color::GrayLight));
    if (const std::size_t filler = label_filler(label.size()); filler > 0) {
      labels.push_back(text(std::string(filler, ' ')));
    }
  }

  auto title_line = hbox({
      std::move(title),
      text(" - Filter [") | color(Color::GrayLight),
      text(analysis::filter_name(snapshot.filter)) | bold | color(Color::Yellow),
      text("]") | color(Color::GrayLight),
  });
  return vbox({std::move(title_line), vbox(std::move(chart)), hbox(std::move(labels))});
}

Element render_frame(const FrameSnapshot& snapshot, bool colour) {
  auto frame = vbox({
                   render_header(),
                   separator(),
                   render_stats_panel(snapshot),
                   separator(),
                   render_histogram(snapshot) | flex,
                   separator(),
                   render_controls(),
               }) |
               border | size(WIDTH, GREATER_THAN, 80) | size(HEIGHT, GREATER_THAN, 30);
  // A frame taller than the terminal would scroll it on every redraw, hiding
  // its top and flooding the scrollback.
  if (snapshot.terminal_rows > 0) {
    frame |= size(HEIGHT, LESS_THAN, snapshot.terminal_rows);
  }
  if (!colour) {
    frame = std::make_shared<Uncoloured>(std::move(frame));
  }
  return frame;
}

Element render_error_frame(const std::string& message) {
  return vbox({
      text("TUI Render Error: ") | color(Color::Red),
      text(message) | color(Color::Red),
  });
}

}  // namespace tui
