#pragma once

// The values a reader of a saved report kept, by where they sat
// ("methods[0].p99"), each checked as it is taken: there or not, null or not,
// of its kind and within its bounds, or a Bad that names it.
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "report/report_file.hpp"

namespace report {

// What a key may be: there or not, and null too.
enum Rule { Optional = 0, Needed = 1, NullToo = 2 };

class Fields {
 public:
  explicit Fields(const std::map<std::string, Value>& kept) : kept_(kept) {}

  // Nothing where absent, or null and allowed to be.
  const Value* get(const std::string& path, int rule) const;
  std::optional<std::uint64_t> whole(const std::string& path, std::uint64_t lowest, std::uint64_t highest,
                                     int rule) const;
  // A number from 0 to `highest`.
  std::optional<double> number(const std::string& path, double highest, int rule) const;
  std::optional<std::string> text(const std::string& path, int rule) const;
  std::optional<bool> flag(const std::string& path, int rule) const;
  // Whether the value is there, of `kind` (`what` names it).
  bool checked(const std::string& path, int rule, Value::Kind kind, const char* what) const;

 private:
  const std::map<std::string, Value>& kept_;
};

}  // namespace report
