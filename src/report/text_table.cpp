#include "report/text_table.hpp"

#include <algorithm>
#include <numeric>
#include <ostream>

#include "report/text.hpp"

namespace report {

void write_columns(const std::vector<Row>& rows, std::ostream& out, std::size_t left) {
  std::vector<std::size_t> widths(rows.front().size(), 0);
  for (const Row& row : rows) {
    for (std::size_t i = 0; i < row.size(); ++i) {
      widths[i] = std::max(widths[i], columns(row[i]));
    }
  }
  const std::size_t gap = std::accumulate(widths.begin(), widths.end(), 2 * (widths.size() - 1)) <= 80 ? 2 : 1;
  const auto padding = [&](const Row& row, std::size_t i) { return std::string(widths[i] - columns(row[i]), ' '); };
  for (const Row& row : rows) {
    std::string line = row[0] + padding(row, 0);
    for (std::size_t i = 1; i < row.size(); ++i) {
      line += std::string(gap, ' ') + (i < left ? row[i] + padding(row, i) : padding(row, i) + row[i]);
    }
    // Trailing blanks of an empty last column would only trail.
    out << line.substr(0, line.find_last_not_of(' ') + 1) << '\n';
  }
}

}  // namespace report
