#include "report/kept_fields.hpp"

#include <limits>

#include <fmt/format.h>

namespace report {
namespace {

const char* or_null(int rule) { return (rule & NullToo) != 0 ? " or null" : ""; }

}  // namespace

const Value* Fields::get(const std::string& path, int rule) const {
  const auto found = kept_.find(path);
  if (found == kept_.end()) {
    if ((rule & Needed) != 0) {
      const auto dot = path.rfind('.');
      throw Bad{dot == std::string::npos ? "has no " + path
                                         : fmt::format("{} has no {}", path.substr(0, dot), path.substr(dot + 1))};
    }
    return nullptr;
  }
  if (found->second.kind == Value::Null && (rule & NullToo) != 0) {
    return nullptr;
  }
  return &found->second;
}

std::optional<std::uint64_t> Fields::whole(const std::string& path, std::uint64_t lowest, std::uint64_t highest,
                                           int rule) const {
  const Value* value = get(path, rule);
  if (value == nullptr || (value->kind == Value::Whole && value->whole >= lowest && value->whole <= highest)) {
    return value ? std::optional(value->whole) : std::nullopt;
  }
  throw Bad{fmt::format("{} is {}, not a whole number from {} to {}{}", path, value->describe(), lowest, highest,
                        or_null(rule))};
}

std::optional<double> Fields::number(const std::string& path, double highest, int rule) const {
  const Value* value = get(path, rule);
  if (value == nullptr || (value->is_number() && value->number >= 0 && value->number <= highest)) {
    return value ? std::optional(value->number) : std::nullopt;
  }
  throw Bad{fmt::format("{} is {}, not a number {}{}", path, value->describe(),
                        highest == std::numeric_limits<double>::max() ? std::string("of 0 or more")
                                                                      : fmt::format("from 0 to {}", highest),
                        or_null(rule))};
}

std::optional<std::string> Fields::text(const std::string& path, int rule) const {
  return checked(path, rule, Value::String, "a string") ? std::optional(kept_.at(path).text) : std::nullopt;
}

std::optional<bool> Fields::flag(const std::string& path, int rule) const {
  return checked(path, rule, Value::Boolean, "true or false") ? std::optional(kept_.at(path).boolean) : std::nullopt;
}

bool Fields::checked(const std::string& path, int rule, Value::Kind kind, const char* what) const {
  const Value* value = get(path, rule);
  if (value != nullptr && value->kind != kind) {
    throw Bad{fmt::format("{} is {}, not {}{}", path, value->describe(), what, or_null(rule))};
  }
  return value != nullptr;
}

}  // namespace report
