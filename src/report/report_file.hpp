#pragma once

// What every reader of a saved --json report shares: the file streamed, never
// held whole, through a reader that keeps only what it needs; every fault one
// line that follows the file's name; nothing thrown past it.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <streambuf>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>

namespace report {

// A fault of the file, in the words that follow its name ("is empty").
struct Bad {
  std::string what;
};

// A value the reader wants, as the JSON had it.
struct Value {
  enum Kind { Null, Boolean, Negative, Whole, Fraction, String, Object, Array } kind = Null;
  bool boolean = false;
  std::uint64_t whole = 0;
  double number = 0.0;  // of any number
  std::string text;     // a string, or how a number was written

  bool is_number() const { return kind == Negative || kind == Whole || kind == Fraction; }
  // As a message names it: "null", "-1", "a string".
  std::string describe() const;
};

// Where a value sits, as a message names it: "methods[3].p99".
struct Frame {
  bool array = false;
  std::size_t items = 0;  // in an array: values begun so far
  std::string key;        // in an object: the latest key
};

class CappedSource;

// Streams a document's values past take(), each with where it sits.
class DocumentReader : public nlohmann::json_sax<nlohmann::json> {
 public:
  bool null() final;
  bool boolean(bool value) final;
  bool number_integer(number_integer_t value) final;
  bool number_unsigned(number_unsigned_t value) final;
  bool number_float(number_float_t value, const string_t& written) final;
  bool string(string_t& value) final;
  bool binary(binary_t&) final;
  bool start_object(std::size_t) final;
  bool key(string_t& name) final;
  bool end_object() final;
  bool start_array(std::size_t) final;
  bool end_array() final;
  bool parse_error(std::size_t position, const std::string& token, const nlohmann::detail::exception& error) final;

  // The document's own: whether it is an object, and the keys every report has.
  bool document_is_object = false;
  std::optional<Value> program, file_version, version, interrupted, methods;
  // Written while a run of --duration went on (reports before it have none).
  std::optional<Value> partial;
  // The first value at fault, said once the document is known to be a report.
  std::optional<std::string> fault;

 protected:
  // Every value but the document itself, as it begins, until a fault is
  // noted; frames() says where.
  virtual void take(const Value& value) = 0;
  // As an object ends, until a fault is noted; frames() still holds its own
  // frame, keyed by its last key.
  virtual void closing() {}

  const std::vector<Frame>& frames() const { return frames_; }
  // Whether the value taken sits at `path`, outermost first: a key, "[]" for
  // an item of an array, "*" for any key.
  bool at(std::initializer_list<std::string_view> path) const;
  // Of the value just taken, or with `upcoming` of the one being read.
  std::string path(bool upcoming = false) const;
  // Notes the first fault.
  void note(std::string what);
  // The value as a whole number within bounds (0 for an allowed null), or
  // nothing, the fault noted.
  std::optional<std::uint64_t> whole(const Value& value, std::uint64_t lowest, std::uint64_t highest, bool null_too);

 private:
  friend std::uint64_t read_report(std::streambuf&, DocumentReader&, std::string_view);
  bool record(const Value& value);

  std::vector<Frame> frames_;
  const CappedSource* source_ = nullptr;
};

// Reads the report in `stream` through `reader`, which notes what it finds.
// Throws Bad for the file's own faults (unreadable, larger than any report,
// empty, another of Quorvane's forms, which `option` does not read; not JSON,
// cut short, no report of Quorvane, a file_version this program does not
// read; a version, interrupted or methods missing or not of their kind; a
// fault the reader noted); returns the file_version.
std::uint64_t read_report(std::streambuf& stream, DocumentReader& reader, std::string_view option);

// read_report, and the report's own keys into `report`: its file_version,
// the version of Quorvane that wrote it, whether it was interrupted, and
// whether it holds the figures so far of a run that went on.
template <typename Report>
void read_report_into(Report& report, std::streambuf& stream, DocumentReader& reader, std::string_view option) {
  report.file_version = static_cast<int>(read_report(stream, reader, option));
  report.version = reader.version->text;
  report.interrupted = reader.interrupted->boolean;
  report.partial = reader.partial && reader.partial->boolean;
}

// Runs `read`, which throws Bad for a fault: nothing, or what is wrong.
std::optional<std::string> fault_of(const std::function<void()>& read);

// Hands `file`, opened, to `read`: nothing, or the line for standard error,
// "OPTION FILE: what is wrong" with the file's name made printable.
std::optional<std::string> read_report_file(const std::string& file, std::string_view option,
                                            const std::function<void(std::streambuf&)>& read);

// What `parse` makes of the report in `file` (its `file` set to it), or the
// line for standard error.
template <typename Report>
std::variant<Report, std::string> read_report_as(const std::string& file, std::string_view option,
                                                 Report (*parse)(std::streambuf&)) {
  Report report;
  if (auto line = read_report_file(file, option, [&](std::streambuf& stream) { report = parse(stream); })) {
    return *std::move(line);
  }
  report.file = file;
  return report;
}

// What `parse` makes of the report in `stream`, or what is wrong with it.
template <typename Report>
std::variant<Report, std::string> parse_report_as(std::streambuf& stream, Report (*parse)(std::streambuf&)) {
  Report report;
  if (auto fault = fault_of([&] { report = parse(stream); })) {
    return *std::move(fault);
  }
  return report;
}

}  // namespace report
