#include "report/report_file.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <istream>
#include <tuple>
#include <utility>

#include <fmt/format.h>

#include "report/capped_source.hpp"
#include "report/facts.hpp"
#include "report/text.hpp"

namespace report {

using Json = nlohmann::json;

namespace {

constexpr std::uint64_t kOldestFileVersion = 1;

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
  if (reader.partial && reader.partial->kind != Value::Boolean) {
    throw Bad{fmt::format("partial is {}, not true or false", reader.partial->describe())};
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
