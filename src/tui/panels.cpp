#include "analysis/format.hpp"
#include "tui/real_time_tui.hpp"

namespace tui {

using namespace ftxui;

Element RealTimeTUI::render_header() { return hbox({text("⏲️  Quorvane V") | bold | color(Color::Blue)}); }

Element RealTimeTUI::render_controls() { return hbox({text("🎮 Controls: ") | bold | color(Color::White)}); }

Element RealTimeTUI::render_stats_panel() { return vbox({text("")}); }

Element RealTimeTUI::render_histogram() { return vbox({text("📊 Histogram") | bold | color(Color::Cyan)}); }

void RealTimeTUI::update_histogram() {}

std::string RealTimeTUI::format_microseconds(std::uint64_t us) const { return analysis::format_microseconds(us); }

}  // namespace tui
