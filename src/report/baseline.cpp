#include "report/baseline.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <istream>
#include <limits>
#include <numeric>
#include <sstream>
#include <streambuf>
#include <tuple>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "report/conditions.hpp"
#include "report/facts.hpp"
#include "report/text.hpp"

namespace report {
namespace {

using Json = nlohmann::json;

// Far beyond any report (a million samples make a few megabytes), and a
// stop for /dev/zero.
constexpr std::size_t kMaxFileBytes = 64 << 20;
constexpr std::uint64_t kOldestFileVersion = 1;
constexpr std::uint64_t kMaxMicroseconds = 1'000'000;
// A figure's changes are worked out in signed 64 bits; figures up to this
// bound can never overflow them.
constexpr std::uint64_t kMaxFigure = std::numeric_limits<std::int64_t>::max();

struct Bad {
  std::string what;
};

// A value the reader wants, as the JSON had it.
struct Value {
  enum Kind { Null, Boolean, Negative, Whole, Fraction, String, Object, Array } kind = Null;
  bool boolean = false;
  std::uint64_t whole = 0;
  std::string text;  // a string, or how a number was written

  std::string describe() const {
    switch (kind) {
      case Null:
        return "null";
      case Boolean:
        return boolean ? "true" : "false";
      case Whole:
        return std::to_string(whole);
      case Negative:
      case Fraction:
        return text;
      case String:
        return "a string";
      case Object:
        return "an object";
      case Array:
        return "an array";
    }
    return "";
  }
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
constexpr const char* kFieldNames[kFields] = {
    "method", "interval", "resolution_requested", "p50", "p99", "p999", "max", "priority", "load", "cpu"};
constexpr bool optional_field(int field) { return field >= Priority; }

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
  int_type underflow() override {
    if (gptr() < egptr()) {
      return traits_type::to_int_type(*gptr());
    }
    if (over_ || failure_ != 0) {
      return traits_type::eof();
    }
    std::streamsize got = 0;
    try {
      errno = 0;
      got = source_.sgetn(piece_, sizeof piece_);
    } catch (...) {
      got = -1;
    }
    if (got <= 0) {
      // A file stream answers a failed read as an end; errno tells them apart.
      failure_ = got < 0 || errno != 0 ? (errno != 0 ? errno : EIO) : 0;
      return traits_type::eof();
    }
    const auto n = static_cast<std::size_t>(got);
    if (passed_ + n > kMaxFileBytes) {
      over_ = true;
      return traits_type::eof();
    }
    if (head_.size() < 16) {
      head_.append(piece_, std::min(n, 16 - head_.size()));
    }
    passed_ += n;
    setg(piece_, piece_, piece_ + n);
    return traits_type::to_int_type(*gptr());
  }

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
  bool parse_error(std::size_t position, const std::string& token, const nlohmann::detail::exception& error) override {
    if (error.id == 406) {
      throw Bad{fmt::format("{} is {}, a number beyond any field", path(true), printable(cut_to_columns(token, 40)))};
    }
    throw Bad{position > source_.passed() ? "is cut short: its JSON ends unfinished"
                                          : fmt::format("is not JSON (byte {})", position)};
  }

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
  bool take(const Value& value) {
    const std::size_t depth = frames_.size();
    if (depth > 0 && frames_.back().array) {
      ++frames_.back().items;
    }
    if (depth == 0) {
      document_is_object = value.kind == Value::Object;
      return true;
    }
    const std::string& top = frames_[0].key;
    if (depth == 1) {
      for (auto [name, slot] : {std::pair{"program", &program},
                                {"file_version", &file_version},
                                {"version", &version},
                                {"interrupted", &interrupted},
                                {"methods", &methods}}) {
        if (top == name) {
          *slot = value;
        }
      }
      return true;
    }
    if (depth == 2 && top == "resolution" && !frames_[1].array && frames_[1].key == "requested") {
      requested = value;
    } else if (depth == 2 && top == "methods" && frames_[1].array) {
      entries.emplace_back();
      present.push_back(0);
      if (value.kind != Value::Object) {
        note(fmt::format("{} is {}, not an object", path(), value.describe()));
      }
    } else if (depth == 3 && top == "methods" && frames_[1].array && !frames_[2].array) {
      for (int field = 0; field < kFields; ++field) {
        if (frames_[2].key == kFieldNames[field]) {
          present.back() = static_cast<std::uint16_t>(present.back() | 1U << field);
          store(entries.back(), static_cast<Field>(field), value);
        }
      }
    }
    return true;
  }

  void store(BaselineEntry& e, Field field, const Value& value) {
    switch (field) {
      case Method:
        if (value.kind != Value::String) {
          return note(fmt::format("{} is {}, not a method's name", path(), value.describe()));
        }
        e.method = value.text;
        return;
      case Interval:
        if (const auto us = whole(value, 1, kMaxMicroseconds, false)) {
          e.interval_us = *us;
        }
        return;
      case Resolution:
        if (const auto us = whole(value, 0, kMaxMicroseconds, true); us && value.kind != Value::Null) {
          e.resolution_us = static_cast<std::uint32_t>(*us);
        }
        return;
      case Priority:
        if (value.kind != Value::String || (value.text != "raised" && value.text != "normal")) {
          return note(fmt::format("{} is {}, not \"raised\" or \"normal\"", path(),
                                  value.kind == Value::String ? "\"" + printable(cut_to_columns(value.text, 40)) + "\""
                                                              : value.describe()));
        }
        e.priority = value.text == "raised" ? measure::Priority::Raised : measure::Priority::Normal;
        return;
      case Load:
        if (const auto threads = whole(value, 0, kMaxLoad, false)) {
          e.load = static_cast<std::uint32_t>(*threads);
        }
        return;
      case Cpu:
        if (const auto cpu = whole(value, 0, kMaxCpu, true); cpu && value.kind != Value::Null) {
          e.cpu = static_cast<std::uint32_t>(*cpu);
        }
        return;
      case P50:
      case P99:
      case P999:
      case Max: {
        std::optional<std::uint64_t>* figures[] = {&e.p50, &e.p99, &e.p999, &e.max};
        if (const auto us = whole(value, 0, kMaxFigure, true); us && value.kind != Value::Null) {
          *figures[field - P50] = *us;
        }
        return;
      }
      case kFields:
        return;
    }
  }

  // The value as a whole number within bounds (0 for an allowed null), or
  // nothing, the fault noted.
  std::optional<std::uint64_t> whole(const Value& value, std::uint64_t lowest, std::uint64_t highest, bool null_too) {
    if (value.kind == Value::Null && null_too) {
      return 0;
    }
    if (value.kind == Value::Whole && value.whole >= lowest && value.whole <= highest) {
      return value.whole;
    }
    note(fmt::format("{} is {}, not a whole number from {} to {}{}", path(), value.describe(), lowest, highest,
                     null_too ? " or null" : ""));
    return std::nullopt;
  }

  void note(std::string what) {
    if (!fault) {
      fault = std::move(what);
    }
  }

  // Of the value just taken, or with `upcoming` of the one being read.
  std::string path(bool upcoming = false) const {
    std::string text;
    for (std::size_t i = 0; i < frames_.size(); ++i) {
      const Frame& frame = frames_[i];
      if (frame.array) {
        const bool last = i + 1 == frames_.size();
        text += fmt::format("[{}]", last && upcoming ? frame.items : frame.items - 1);
      } else {
        const std::string key = printable(cut_to_columns(frame.key, 40));
        text += text.empty() ? key : "." + key;
      }
    }
    return text.empty() ? "the document" : text;
  }

  std::vector<Frame> frames_;
  const CappedSource& source_;
};

// Each entry is found by its method, interval, resolution and condition: once.
void check_entries(const Baseline& baseline) {
  const auto& entries = baseline.entries;
  const auto key = [&](std::size_t i) {
    const BaselineEntry& e = entries[i];
    return std::tie(e.method, e.interval_us, e.resolution_us, e.priority, e.load, e.cpu);
  };
  // Sorted indices rather than a map: a few bytes an entry.
  std::vector<std::size_t> order(entries.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return key(a) < key(b); });
  for (std::size_t k = 1; k < order.size(); ++k) {
    if (key(order[k - 1]) == key(order[k])) {
      throw Bad{fmt::format("methods[{}] is the same method, interval, resolution and condition as methods[{}]",
                            order[k], order[k - 1])};
    }
  }
}

// Why the parse of `source` stopped, where that is not the JSON's fault.
void check_source(const CappedSource& source) {
  if (source.failure() != 0) {
    throw Bad{fmt::format("cannot be read: {}", std::strerror(source.failure()))};
  }
  if (source.over()) {
    throw Bad{"is larger than any report"};
  }
  if (source.passed() == 0) {
    throw Bad{"is empty"};
  }
  // Quorvane's other forms, which are easily taken for this one.
  const std::string& head = source.head();
  if (head.starts_with("# HELP ") || head.starts_with("# TYPE ")) {
    throw Bad{"is OpenMetrics text; --compare reads a report written with --json"};
  }
  if (head.starts_with("Quorvane ")) {
    throw Bad{"is a report as text; --compare reads one written with --json"};
  }
}

Baseline parse(std::streambuf& stream) {
  CappedSource source(stream);
  std::istream in(&source);
  Reader reader(source);
  try {
    Json::sax_parse(in, &reader);
  } catch (const Bad&) {
    check_source(source);
    throw;
  }
  check_source(source);
  const auto is = [](const std::optional<Value>& v, Value::Kind kind) { return v && v->kind == kind; };
  if (!reader.document_is_object || !is(reader.program, Value::String) || reader.program->text != "Quorvane" ||
      !reader.file_version) {
    throw Bad{"is JSON, but no report of Quorvane"};
  }
  const Value& file_version = *reader.file_version;
  if (file_version.kind != Value::Whole || file_version.whole < kOldestFileVersion ||
      file_version.whole > static_cast<std::uint64_t>(kReportFileVersion)) {
    throw Bad{fmt::format("is a report of file_version {}, which this Quorvane does not read (it reads {} to {})",
                          file_version.describe(), kOldestFileVersion, kReportFileVersion)};
  }
  Baseline baseline;
  baseline.file_version = static_cast<int>(file_version.whole);
  if (reader.fault) {
    throw Bad{*reader.fault};
  }
  for (const auto& [name, value, kind] : {std::tuple{"version", &reader.version, Value::String},
                                          {"interrupted", &reader.interrupted, Value::Boolean},
                                          {"methods", &reader.methods, Value::Array}}) {
    if (!*value) {
      throw Bad{fmt::format("has no {}", name)};
    }
    if ((*value)->kind != kind) {
      throw Bad{fmt::format("{} is {}, not {}", name, (*value)->describe(),
                            kind == Value::String    ? "a string"
                            : kind == Value::Boolean ? "true or false"
                                                     : "an array")};
    }
  }
  baseline.version = reader.version->text;
  baseline.interrupted = reader.interrupted->boolean;
  // Version 1 measured waits of 1 ms, at one resolution for all.
  std::optional<std::uint32_t> requested;
  if (baseline.file_version == 1 && reader.requested && reader.requested->kind != Value::Null) {
    if (reader.requested->kind != Value::Whole || reader.requested->whole > kMaxMicroseconds) {
      throw Bad{fmt::format("resolution.requested is {}, not a whole number from 0 to {} or null",
                            reader.requested->describe(), kMaxMicroseconds)};
    }
    requested = static_cast<std::uint32_t>(reader.requested->whole);
  }
  for (std::size_t i = 0; i < reader.entries.size(); ++i) {
    for (int field = 0; field < kFields; ++field) {
      const bool needed =
          !optional_field(field) && (baseline.file_version > 1 || (field != Interval && field != Resolution));
      if (needed && (reader.present[i] & 1U << field) == 0) {
        throw Bad{fmt::format("methods[{}] has no {}", i, kFieldNames[field])};
      }
    }
    if (baseline.file_version == 1) {
      reader.entries[i].interval_us = 1000;
      reader.entries[i].resolution_us = requested;
    }
  }
  baseline.entries = std::move(reader.entries);
  check_entries(baseline);
  return baseline;
}

}  // namespace

std::variant<Baseline, std::string> parse_baseline(std::streambuf& stream) {
  try {
    return parse(stream);
  } catch (const Bad& bad) {
    return bad.what;
  } catch (const Json::exception& e) {
    // The reader answers every fault itself; this is a last guard.
    return fmt::format("is not JSON ({})", e.what());
  }
}

std::variant<Baseline, std::string> parse_baseline(std::string_view text) {
  std::stringbuf stream{std::string(text)};
  return parse_baseline(stream);
}

std::variant<Baseline, std::string> read_baseline(const std::string& file) {
  errno = 0;
  std::filebuf stream;
  std::variant<Baseline, std::string> result;
  if (stream.open(file, std::ios::in | std::ios::binary) == nullptr) {
    result = fmt::format("cannot be read: {}", errno != 0 ? std::strerror(errno) : "unknown error");
  } else {
    result = parse_baseline(stream);
  }
  if (auto* baseline = std::get_if<Baseline>(&result)) {
    baseline->file = file;
    return result;
  }
  return fmt::format("--compare {}: {}", printable(file), std::get<std::string>(result));
}

}  // namespace report
