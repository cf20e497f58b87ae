// The baseline reader: what a gate acts on is read strictly, every fault
// named by its key, nothing thrown past it.
#include "report/baseline.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <variant>

#include <fmt/format.h>

namespace {

using report::Baseline;
using report::parse_baseline;

// A report of file_version 2 with one entry whose fields are `fields`.
std::string report_of(const std::string& fields, const std::string& top = R"("file_version": 2)") {
  return R"({"program": "Quorvane", )" + top + R"(, "version": "1.0.1", "interrupted": false, "methods": [)" + fields +
         "]}";
}
const std::string kEntry =
    R"("method": "Sleep", "interval": 1000, "resolution_requested": null, "p50": 1, "p99": 2, "p999": 3, "max": 4)";
// The entry with `key`'s value replaced by `value`.
std::string entry_with(const std::string& key, const std::string& value) {
  std::string entry = kEntry + ",";
  const auto at = entry.find('"' + key + "\": ") + key.size() + 4;
  entry.replace(at, entry.find(',', at) - at, value);
  entry.pop_back();
  return "{" + entry + "}";
}

std::string fault(const std::string& text) {
  const auto read = parse_baseline(text);
  return std::holds_alternative<std::string>(read) ? std::get<std::string>(read) : "read";
}

TEST(Baseline, EveryFaultIsOneLineNamingItsKey) {
  const std::pair<std::string, std::string> cases[] = {
      // Not a report at all.
      {"", "is empty"},
      {"\x01\x02", "is not JSON (byte 1)"},
      {R"({"program": "Quorvane", "methods": [)", "is cut short: its JSON ends unfinished"},
      {"[[[[[[[[[[", "is cut short: its JSON ends unfinished"},
      {R"({"name": "other"})", "is JSON, but no report of Quorvane"},
      {"[1, 2]", "is JSON, but no report of Quorvane"},
      {"# HELP quorvane_wait_duration_seconds x\n",
       "is OpenMetrics text; --compare reads a report written with --json"},
      {"Quorvane 1.0.1 report: waits of 1 ms\n", "is a report as text; --compare reads one written with --json"},
      // Numbers the JSON library cannot hold: named, not thrown.
      {"1e400", "the document is 1e400, a number beyond any field"},
      {report_of(entry_with("p50", "1e999")), "methods[0].p50 is 1e999, a number beyond any field"},
      {report_of("{" + kEntry + "}, " + entry_with("max", "-1e999")),
       "methods[1].max is -1e999, a number beyond any field"},
      {report_of(entry_with("p50", "NaN")), "is not JSON"},
      // A file version that only wraps to a known one.
      {report_of("", R"("file_version": 4294967298)"),
       "is a report of file_version 4294967298, which this Quorvane does not read (it reads 1 to 2)"},
      {report_of("", R"("file_version": 2.0)"), "is a report of file_version 2.0, which"},
      {report_of("", R"("file_version": -2)"), "is a report of file_version -2, which"},
      // Figures that do not fit their field.
      {report_of(entry_with("p99", "18446744073709551615")),
       "methods[0].p99 is 18446744073709551615, not a whole number from 0 to 9223372036854775807 or null"},
      {report_of(entry_with("p99", "9223372036854775808")), "methods[0].p99 is 9223372036854775808, not a whole"},
      {report_of(entry_with("p999", "-1")), "methods[0].p999 is -1, not a whole number"},
      {report_of(entry_with("max", "4.5")), "methods[0].max is 4.5, not a whole number"},
      {report_of(entry_with("p50", R"("1")")), "methods[0].p50 is a string, not a whole number"},
      {report_of(entry_with("p50", "[1]")), "methods[0].p50 is an array, not a whole number"},
      {report_of(entry_with("interval", "-1")), "methods[0].interval is -1, not a whole number from 1 to 1000000\n"},
      {report_of(entry_with("interval", "1000.9")), "methods[0].interval is 1000.9, not a whole number from 1 to"},
      {report_of(entry_with("interval", "0")), "methods[0].interval is 0, not a whole number from 1 to 1000000"},
      {report_of(entry_with("interval", "null")), "methods[0].interval is null, not a whole number"},
      {report_of(entry_with("resolution_requested", "4294967796")),
       "methods[0].resolution_requested is 4294967796, not a whole number from 0 to 1000000 or null"},
      {report_of(entry_with("resolution_requested", "-1")), "methods[0].resolution_requested is -1, not a whole"},
      {report_of(entry_with("method", "5")), "methods[0].method is 5, not a method's name"},
      {report_of("5"), "methods[0] is 5, not an object"},
      {report_of(fmt::format("{{{}}}", kEntry.substr(kEntry.find("\"interval")))), "methods[0] has no method"},
      // Said as the entry closes: nothing after it is read into memory.
      {report_of("{}, " + entry_with("p50", "-1")), "methods[0] has no method"},
      {report_of("{" + kEntry + "}, {" + kEntry + "}"),
       "methods[1] is the same method, interval, resolution and condition as methods[0]"},
      {report_of("{" + kEntry + R"(, "load": 4}, {"load": 4, )" + kEntry + "}"),
       "methods[1] is the same method, interval, resolution and condition as methods[0]"},
      // The condition, where a report names it.
      {report_of("{" + kEntry + R"(, "priority": "fast"})"), R"(methods[0].priority is "fast", not "raised" or)"},
      {report_of("{" + kEntry + R"(, "priority": null})"), R"(methods[0].priority is null, not "raised" or "normal")"},
      {report_of("{" + kEntry + R"(, "load": 257})"), "methods[0].load is 257, not a whole number from 0 to 256\n"},
      {report_of("{" + kEntry + R"(, "load": null})"), "methods[0].load is null, not a whole number"},
      {report_of("{" + kEntry + R"(, "cpu": -1})"), "methods[0].cpu is -1, not a whole number from 0 to 8191 or null"},
      {report_of("{" + kEntry + R"(, "cpu": 1.5})"), "methods[0].cpu is 1.5, not a whole number"},
      // The report's own fields.
      {R"({"program": "Quorvane", "file_version": 2, "version": "1", "interrupted": "no", "methods": []})",
       "interrupted is a string, not true or false"},
      {R"({"program": "Quorvane", "file_version": 2, "version": "1", "interrupted": false})", "has no methods"},
      {R"({"program": "Quorvane", "file_version": 2, "version": "1", "interrupted": false, "partial": 1,)"
       R"( "methods": []})",
       "partial is 1, not true or false"},
      {R"({"program": "Quorvane", "file_version": 2, "version": 1, "interrupted": false, "methods": []})",
       "version is 1, not a string"},
      {R"({"program": "Quorvane", "file_version": 1, "version": "1", "interrupted": false, "methods": [],)"
       R"( "resolution": {"requested": -5}})",
       "resolution.requested is -5, not a whole number from 0 to 1000000 or null"},
  };
  for (const auto& [text, says] : cases) {
    EXPECT_THAT(fault(text) + "\n", testing::StartsWith(says)) << text;
  }
}

// Version 2: fields it does not use passed over; null figures, the highest,
// conditions named or not. (The keys that pair entries, and version 1, the
// report's comparisons read.)
TEST(Baseline, ReadsEachVersion) {
  auto read = parse_baseline(report_of(R"({"histogram": {"1": 2}, "extra": [[{}]], )" + kEntry +
                                       R"(}, {"method": "Hybrid", "interval": 20, "resolution_requested": 500,)"
                                       R"( "p50": null, "p99": null, "p999": null, "max": 9223372036854775807})"));
  ASSERT_TRUE(std::holds_alternative<Baseline>(read)) << std::get<std::string>(read);
  const Baseline& two = std::get<Baseline>(read);
  EXPECT_FALSE(two.partial) << "a report from before runs of a set duration";
  ASSERT_EQ(two.entries.size(), 2U);
  EXPECT_EQ(two.entries[0].p99, 2U);
  EXPECT_EQ(two.entries[0].max, 4U);
  EXPECT_EQ(two.entries[1].p50, std::nullopt);
  EXPECT_EQ(two.entries[1].max, 9223372036854775807U);
  // Before conditions were measured: raised, no load, any CPU; after, as named.
  EXPECT_EQ(two.entries[0].priority, measure::Priority::Raised);
  EXPECT_EQ(two.entries[0].load, 0U);
  EXPECT_EQ(two.entries[0].cpu, std::nullopt);
  read = parse_baseline(report_of("{" + kEntry + R"(, "priority": "normal", "load": 256, "cpu": 8191})"));
  ASSERT_TRUE(std::holds_alternative<Baseline>(read)) << std::get<std::string>(read);
  const auto& named = std::get<Baseline>(read).entries[0];
  EXPECT_EQ(named.priority, measure::Priority::Normal);
  EXPECT_EQ(named.load, 256U);
  EXPECT_EQ(named.cpu, 8191U);
}

}  // namespace
