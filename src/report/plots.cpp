#include "report/plots.hpp"

#include <fmt/format.h>

namespace report {

std::string series_attributes(const Series& series) {
  return fmt::format(R"(class="series" data-report="{}" data-entry="{}")", html_escaped(series.report_name),
                     html_escaped(series.label));
}

std::string not_drawn(const std::vector<std::string>& what) {
  if (what.empty()) {
    return "";
  }
  std::string text;
  for (const std::string& item : what) {
    text += (text.empty() ? "" : "; ") + item;
  }
  return "<p class=\"note\">Not drawn: " + html_escaped(text) + ".</p>";
}

}  // namespace report
