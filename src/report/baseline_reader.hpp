#pragma once

// The parts of the baseline reader: the capped stream it reads from, and the
// reader that keeps what a comparison needs of a document as it streams past.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <streambuf>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "report/baseline.hpp"

namespace report::baseline_reading {

using Json = nlohmann::json;

// Far beyond any report (a million samples make a few megabytes), and a
// stop for /dev/zero.
inline constexpr std::size_t kMaxFileBytes = 64 << 20;
inline constexpr std::uint64_t kMaxMicroseconds = 1'000'000;
// A figure's changes are worked out in signed 64 bits; figures up to this
// bound can never overflow them.
inline constexpr std::uint64_t kMaxFigure = std::numeric_limits<std::int64_t>::max();

struct Bad {
  std::string what;
};

// A value the reader wants, as the JSON had it.
struct Value {
  enum Kind { Null, Boolean, Negative, Whole, Fraction, String, Object, Array } kind = Null;
  bool boolean = false;
  std::uint64_t whole = 0;
  std::string text;  // a string, or how a number was written

  std::string describe() const;
};

// Where a value sits, as a message names it: "methods[3].p99".
struct Frame {
  bool array = false;
  std::size_t items = 0;  // in an array: values begun so far
  std::string key;        // in an object: the latest key
};

// The fields of a method's entry that the reader takes; the condition's
// (priority, load, CPU) only where the report names them.
enum Field { Method, Interval, Resolution, P50, P99, P999, Max, Priority, Load, Cpu, kFields };
inline constexpr const char* kFieldNames[kFields] = {
    "method", "interval", "resolution_requested", "p50", "p99", "p999", "max", "priority", "load", "cpu"};
inline constexpr bool optional_field(int field) { return field >= Priority; }

// Hands the parser at most a report's largest size of a stream, piece by
// piece: what is held never grows with the file, and /dev/zero ends.
class CappedSource final : public std::streambuf {
 public:
  explicit CappedSource(std::streambuf& source) : source_(source) {}

  // Bytes handed on so far.
  std::size_t passed() const { return passed_; }
  // The stream went on past the largest size.
  bool over() const { return over_; }
  // The error that stopped reading, or 0.
  int failure() const { return failure_; }
  // The first bytes, to tell Quorvane's other forms by.
  const std::string& head() const { return head_; }

 protected:
  int_type underflow() override;

 private:
  std::streambuf& source_;
  char piece_[1 << 16];
  std::size_t passed_ = 0;
  bool over_ = false;
  int failure_ = 0;
  std::string head_;
};

// Reads the document as it streams past, keeping only what a comparison
// needs: memory in proportion to the entries, not to the whole document.
class Reader final : public nlohmann::json_sax<Json> {
 public:
  bool null() override { return take(Value{}); }
  bool boolean(bool value) override { return take(Value{Value::Boolean, value, 0, {}}); }
  bool number_integer(number_integer_t value) override {
    return value < 0 ? take(Value{Value::Negative, false, 0, std::to_string(value)})
                     : take(Value{Value::Whole, false, static_cast<std::uint64_t>(value), {}});
  }
  bool number_unsigned(number_unsigned_t value) override { return take(Value{Value::Whole, false, value, {}}); }
  bool number_float(number_float_t, const string_t& written) override {
    return take(Value{Value::Fraction, false, 0, written});
  }
  bool string(string_t& value) override { return take(Value{Value::String, false, 0, value}); }
  bool binary(binary_t&) override { return take(Value{Value::Array, false, 0, {}}); }
  bool start_object(std::size_t) override {
    take(Value{Value::Object, false, 0, {}});
    frames_.push_back({});
    return true;
  }
  bool key(string_t& name) override {
    frames_.back().key = name;
    return true;
  }
  bool end_object() override {
    frames_.pop_back();
    return true;
  }
  bool start_array(std::size_t) override {
    take(Value{Value::Array, false, 0, {}});
    frames_.push_back({true, 0, {}});
    return true;
  }
  bool end_array() override {
    frames_.pop_back();
    return true;
  }
  bool parse_error(std::size_t position, const std::string& token, const nlohmann::detail::exception& error) override;

  explicit Reader(const CappedSource& source) : source_(source) {}

  std::optional<Value> program, file_version, version, interrupted, requested;
  bool document_is_object = false;
  std::optional<Value> methods;
  std::vector<BaselineEntry> entries;
  // Per entry, a bit for each field it has.
  std::vector<std::uint16_t> present;
  // The first field at fault, said once the document is known to be a report.
  std::optional<std::string> fault;

 private:
  // Records `value` if it is one the reader wants.
  bool take(const Value& value);
  void store(BaselineEntry& e, Field field, const Value& value);
  // The value as a whole number within bounds (0 for an allowed null), or
  // nothing, the fault noted.
  std::optional<std::uint64_t> whole(const Value& value, std::uint64_t lowest, std::uint64_t highest, bool null_too);
  void note(std::string what);
  // Of the value just taken, or with `upcoming` of the one being read.
  std::string path(bool upcoming = false) const;

  std::vector<Frame> frames_;
  const CappedSource& source_;
};

}  // namespace report::baseline_reading
