#include "report/baseline_reader.hpp"

#include <algorithm>
#include <cerrno>

#include <fmt/format.h>

#include "report/conditions.hpp"
#include "report/text.hpp"

namespace report::baseline_reading {

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

CappedSource::int_type CappedSource::underflow() {
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

bool Reader::parse_error(std::size_t position, const std::string& token, const nlohmann::detail::exception& error) {
  if (error.id == 406) {
    throw Bad{fmt::format("{} is {}, a number beyond any field", path(true), printable(cut_to_columns(token, 40)))};
  }
  throw Bad{position > source_.passed() ? "is cut short: its JSON ends unfinished"
                                        : fmt::format("is not JSON (byte {})", position)};
}

bool Reader::take(const Value& value) {
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

void Reader::store(BaselineEntry& e, Field field, const Value& value) {
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
        const std::string given = value.kind == Value::String
                                      ? fmt::format("\"{}\"", printable(cut_to_columns(value.text, 40)))
                                      : value.describe();
        return note(fmt::format("{} is {}, not \"raised\" or \"normal\"", path(), given));
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

std::optional<std::uint64_t> Reader::whole(const Value& value, std::uint64_t lowest, std::uint64_t highest,
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

void Reader::note(std::string what) {
  if (!fault) {
    fault = std::move(what);
  }
}

std::string Reader::path(bool upcoming) const {
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

}  // namespace report::baseline_reading
