#include "report/report_file.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <istream>
#include <tuple>
#include <utility>

#include <fmt/format.h>

#include "report/facts.hpp"
#include "report/text.hpp"

namespace report {

using Json = nlohmann::json;

namespace {

// Far beyond any report (a million samples make a few megabytes), and a
// stop for /dev/zero.
constexpr std::size_t kMaxFileBytes = 64 << 20;
constexpr std::uint64_t kOldestFileVersion = 1;

}  // namespace

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

std::string Value::describe() const {
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

bool DocumentReader::null() { return record(Value{}); }
bool DocumentReader::boolean(bool value) { return record(Value{Value::Boolean, value, 0, 0.0, {}}); }
bool DocumentReader::number_integer(number_integer_t value) {
  const auto number = static_cast<double>(value);
  return value < 0 ? record(Value{Value::Negative, false, 0, number, std::to_string(value)})
                   : record(Value{Value::Whole, false, static_cast<std::uint64_t>(value), number, {}});
}
bool DocumentReader::number_unsigned(number_unsigned_t value) {
  return record(Value{Value::Whole, false, value, static_cast<double>(value), {}});
}
bool DocumentReader::number_float(number_float_t value, const string_t& written) {
  return record(Value{Value::Fraction, false, 0, value, written});
}
bool DocumentReader::string(string_t& value) { return record(Value{Value::String, false, 0, 0.0, value}); }
bool DocumentReader::binary(binary_t&) { return record(Value{Value::Array, false, 0, 0.0, {}}); }
bool DocumentReader::start_object(std::size_t) {
  record(Value{Value::Object, false, 0, 0.0, {}});
  frames_.push_back({});
  return true;
}
bool DocumentReader::key(string_t& name) {
  frames_.back().key = name;
  return true;
}
bool DocumentReader::end_object() {
  frames_.pop_back();
  return true;
}
bool DocumentReader::start_array(std::size_t) {
  record(Value{Value::Array, false, 0, 0.0, {}});
  frames_.push_back({true, 0, {}});
  return true;
}
bool DocumentReader::end_array() {
  frames_.pop_back();
  return true;
}

bool DocumentReader::parse_error(std::size_t position, const std::string& token,
                                 const nlohmann::detail::exception& error) {
  if (error.id == 406) {
    throw Bad{fmt::format("{} is {}, a number beyond any field", path(true), printable(cut_to_columns(token, 40)))};
  }
  throw Bad{source_ != nullptr && position > source_->passed() ? "is cut short: its JSON ends unfinished"
                                                               : fmt::format("is not JSON (byte {})", position)};
}

bool DocumentReader::record(const Value& value) {
  if (!frames_.empty() && frames_.back().array) {
    ++frames_.back().items;
  }
  if (frames_.empty()) {
    document_is_object = value.kind == Value::Object;
    return true;
  }
  if (frames_.size() == 1) {
    for (auto [name, slot] : {std::pair{"program", &program},
                              {"file_version", &file_version},
                              {"version", &version},
                              {"interrupted", &interrupted},
                              {"methods", &methods}}) {
      if (frames_[0].key == name) {
        *slot = value;
      }
    }
  }
  take(value);
  return true;
}

bool DocumentReader::at(std::initializer_list<std::string_view> where) const {
  if (where.size() != frames_.size()) {
    return false;
  }
  std::size_t i = 0;
  for (const std::string_view step : where) {
    const Frame& frame = frames_[i++];
    if (frame.array ? step != "[]" : step == "[]" || (step != "*" && step != frame.key)) {
      return false;
    }
  }
  return true;
}

std::string DocumentReader::path(bool upcoming) const {
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

void DocumentReader::note(std::string what) {
  if (!fault) {
    fault = std::move(what);
  }
}

std::optional<std::uint64_t> DocumentReader::whole(const Value& value, std::uint64_t lowest, std::uint64_t highest,
                                                   bool null_too) {
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

namespace {

// Why the parse of `source` stopped, where that is not the JSON's fault.
void check_source(const CappedSource& source, std::string_view option) {
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
    throw Bad{fmt::format("is OpenMetrics text; {} reads a report written with --json", option)};
  }
  if (head.starts_with("Quorvane ")) {
    throw Bad{fmt::format("is a report as text; {} reads one written with --json", option)};
  }
}

}  // namespace

std::uint64_t read_report(std::streambuf& stream, DocumentReader& reader, std::string_view option) {
  CappedSource source(stream);
  std::istream in(&source);
  reader.source_ = &source;
  try {
    Json::sax_parse(in, &reader);
  } catch (const Bad&) {
    reader.source_ = nullptr;
    check_source(source, option);
    throw;
  }
  reader.source_ = nullptr;
  check_source(source, option);
  const auto& program = reader.program;
  if (!reader.document_is_object || !program || program->kind != Value::String || program->text != "Quorvane" ||
      !reader.file_version) {
    throw Bad{"is JSON, but no report of Quorvane"};
  }
  const Value& file_version = *reader.file_version;
  if (file_version.kind != Value::Whole || file_version.whole < kOldestFileVersion ||
      file_version.whole > static_cast<std::uint64_t>(kReportFileVersion)) {
    throw Bad{fmt::format("is a report of file_version {}, which this Quorvane does not read (it reads {} to {})",
                          file_version.describe(), kOldestFileVersion, kReportFileVersion)};
  }
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
  return file_version.whole;
}

std::optional<std::string> fault_of(const std::function<void()>& read) {
  try {
    read();
    return std::nullopt;
  } catch (const Bad& bad) {
    return bad.what;
  } catch (const Json::exception& e) {
    // The reader answers every fault itself; this is a last guard.
    return fmt::format("is not JSON ({})", e.what());
  }
}

std::optional<std::string> read_report_file(const std::string& file, std::string_view option,
                                            const std::function<void(std::streambuf&)>& read) {
  errno = 0;
  std::filebuf stream;
  std::optional<std::string> fault;
  if (stream.open(file, std::ios::in | std::ios::binary) == nullptr) {
    fault = fmt::format("cannot be read: {}", errno != 0 ? std::strerror(errno) : "unknown error");
  } else {
    fault = fault_of([&] { read(stream); });
  }
  if (!fault) {
    return std::nullopt;
  }
  return fmt::format("{} {}: {}", option, printable(file), *fault);
}

}  // namespace report
