// How a report's reader follows the document: where each value sits, and the
// faults it names by that place.
#include <fmt/format.h>

#include "report/capped_source.hpp"
#include "report/report_file.hpp"
#include "report/text.hpp"

namespace report {

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
  if (!fault) {
    closing();
  }
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
                              {"partial", &partial},
                              {"methods", &methods}}) {
      if (frames_[0].key == name) {
        *slot = value;
      }
    }
  }
  // Past the first fault nothing more is kept: what is held stops growing.
  if (!fault) {
    take(value);
  }
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

}  // namespace report
