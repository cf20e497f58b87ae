#include "app/report_compare.hpp"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace app {
namespace {

using Json = nlohmann::json;

// Far beyond any report (a million samples make a few megabytes), and a
// stop for /dev/zero.
constexpr std::size_t kMaxFileBytes = 64 << 20;
constexpr int kOldestFileVersion = 1;

struct Bad {
  std::string what;
};

std::optional<std::uint64_t> figure(const Json& entry, const char* key, std::size_t index) {
  const auto found = entry.find(key);
  if (found == entry.end() || !(found->is_null() || found->is_number_unsigned())) {
    throw Bad{fmt::format("methods[{}] has no {}", index, key)};
  }
  return found->is_null() ? std::nullopt : std::optional(found->get<std::uint64_t>());
}

std::string read_text(const std::string& file) {
  errno = 0;
  std::ifstream in(file, std::ios::binary);
  std::string text;
  if (in) {
    text.resize(kMaxFileBytes + 1);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
  }
  if (!in && !in.eof()) {
    throw Bad{fmt::format("cannot be read: {}", errno != 0 ? std::strerror(errno) : "unknown error")};
  }
  if (text.size() > kMaxFileBytes) {
    throw Bad{"is larger than any report"};
  }
  return text;
}

Baseline parse_baseline(const std::string& file, const std::string& text) {
  if (text.empty()) {
    throw Bad{"is empty"};
  }
  Json document;
  try {
    document = Json::parse(text);
  } catch (const Json::parse_error& e) {
    throw Bad{e.byte > text.size() ? "is cut short: its JSON ends unfinished"
                                   : fmt::format("is not JSON (byte {})", e.byte)};
  }
  if (!document.is_object() || document.value("program", Json()) != "Quorvane" || !document.contains("file_version") ||
      !document["file_version"].is_number_integer()) {
    throw Bad{"is JSON, but no report of Quorvane"};
  }
  Baseline baseline;
  baseline.file = file;
  baseline.file_version = document["file_version"].get<int>();
  if (baseline.file_version < kOldestFileVersion || baseline.file_version > kReportFileVersion) {
    throw Bad{fmt::format("is a report of file_version {}, which this Quorvane does not read (it reads {} to {})",
                          baseline.file_version, kOldestFileVersion, kReportFileVersion)};
  }
  try {
    baseline.version = document.at("version").get<std::string>();
    baseline.interrupted = document.at("interrupted").get<bool>();
    // Version 1 measured waits of 1 ms, at one resolution for all.
    const Json& requested = document.at("resolution").value("requested", Json());
    const Json& methods = document.at("methods");
    for (std::size_t i = 0; i < methods.size(); ++i) {
      const Json& m = methods.at(i);
      BaselineEntry entry;
      entry.method = m.at("method").get<std::string>();
      const Json& resolution = baseline.file_version == 1 ? requested : m.at("resolution_requested");
      if (!resolution.is_null()) {
        entry.resolution_us = resolution.get<std::uint32_t>();
      }
      if (baseline.file_version > 1) {
        entry.interval_us = m.at("interval").get<std::uint64_t>();
      }
      entry.p50 = figure(m, "p50", i);
      entry.p99 = figure(m, "p99", i);
      entry.p999 = figure(m, "p999", i);
      entry.max = figure(m, "max", i);
      baseline.entries.push_back(std::move(entry));
    }
  } catch (const Json::exception&) {
    throw Bad{"is a report of Quorvane with keys missing or of the wrong kind"};
  }
  return baseline;
}

}  // namespace

std::string key_label(const MethodKey& key) {
  return key.resolution_us
             ? fmt::format("{} ({} μs, resolution {} μs)", key.method, key.interval_us, *key.resolution_us)
             : fmt::format("{} ({} μs)", key.method, key.interval_us);
}

std::variant<Baseline, std::string> read_baseline(const std::string& file) {
  try {
    return parse_baseline(file, read_text(file));
  } catch (const Bad& bad) {
    return fmt::format("--compare {}: {}", file, bad.what);
  }
}

Comparison compare(const ReportFacts& facts, const Baseline& baseline) {
  Comparison comparison;
  std::vector<bool> matched(baseline.entries.size(), false);
  for (const ResolutionBlock& block : facts.blocks) {
    for (const MethodReport& method : block.methods) {
      const BaselineEntry* before = nullptr;
      for (std::size_t i = 0; i < baseline.entries.size() && before == nullptr; ++i) {
        const BaselineEntry& entry = baseline.entries[i];
        if (!matched[i] && entry.method == method.name && entry.interval_us == facts.interval_us &&
            entry.resolution_us == block.requested_us) {
          matched[i] = true;
          before = &entry;
        }
      }
      if (before != nullptr) {
        comparison.compared.push_back({&block, &method, before});
      } else {
        comparison.only_now.push_back({method.name, facts.interval_us, block.requested_us});
      }
    }
  }
  for (std::size_t i = 0; i < baseline.entries.size(); ++i) {
    if (!matched[i]) {
      const BaselineEntry& entry = baseline.entries[i];
      comparison.only_before.push_back({entry.method, entry.interval_us, entry.resolution_us});
    }
  }
  return comparison;
}

std::optional<std::int64_t> change(const std::optional<std::uint64_t>& before, std::optional<std::uint64_t> now) {
  if (!before || !now) {
    return std::nullopt;
  }
  return static_cast<std::int64_t>(*now) - static_cast<std::int64_t>(*before);
}

std::string compared_label(const ComparedMethod& method) {
  return method.block->requested_us ? fmt::format("{} at {} μs", method.now->name, *method.block->requested_us)
                                    : method.now->name;
}

}  // namespace app
