#pragma once

// Tables of the report for people: columns measured in characters.
#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

namespace report {

using Row = std::vector<std::string>;

// The first `left` columns left-aligned and the rest right-aligned; the
// columns close up to one space where two would pass 80 columns.
void write_columns(const std::vector<Row>& rows, std::ostream& out, std::size_t left = 1);

}  // namespace report
