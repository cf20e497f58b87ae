#pragma once

// The lists the report's options take, read item by item: each answers
// nothing, the items stored, or what is wrong (the library puts the option's
// name before it). An item may come once, across repeats of the option too.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "measure/conditions.hpp"
#include "report/options.hpp"

namespace CLI {
class App;
class Validator;
}  // namespace CLI

namespace report {

// A validator that reads each value given with `read`, which stores it and
// answers nothing, or answers what is wrong. The library puts the option's
// name before the answer.
CLI::Validator reading(std::function<std::string(const std::string&)> read);

// The items of a comma-separated list, empty ones included.
std::vector<std::string_view> items(std::string_view list);
std::string lower(std::string_view text);

// --priority: raised or normal, in any case.
std::string read_priorities(const std::string& list, std::vector<measure::Priority>& into);
// --load: numbers of threads, 0 to kMaxLoad.
std::string read_loads(const std::string& list, std::vector<std::uint32_t>& into);
// --cpu: CPU numbers and ranges ("0,2-3"), or all, alone.
std::string read_cpus(const std::string& list, std::vector<std::uint32_t>& into, bool& all);

// --priority, --load and --cpu: lists of conditions, each measured in turn,
// declared on `application` and read into `options`.
void add_condition_options(CLI::App& application, ReportOptions& options);

}  // namespace report
