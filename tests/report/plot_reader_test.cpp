// A report read for the page: strictly, each fault one line naming its key
// (the faults of the file itself are the shared reader's, tested with the
// baseline's), both versions read.
#include "report/plot_reader.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <variant>

namespace {

using report::parse_plot;
using report::PlotReport;

const std::string kEntry = R"("method": "Sleep", "interval": 1000, "resolution_requested": null, "samples": 3,)"
                           R"( "p50": 1001, "p90": 1002, "p99": 1003, "p999": 1003, "max": 1003,)"
                           R"( "histogram": {"1001": 1, "1002": 1, "1003": 1})";
std::string report_of(const std::string& entry, const std::string& more = "") {
  return R"({"program": "Quorvane", "file_version": 2, "version": "1.0.1", "interrupted": false)" + more +
         R"(, "methods": [{)" + entry + "}]}";
}
// The entry with `key`'s value replaced by `value`; with a value "", without
// the key (histogram aside).
std::string with(const std::string& key, const std::string& value) {
  std::string entry = kEntry;
  const auto at = entry.find("\"" + key + "\": ");
  const auto end = key == "histogram" ? entry.size() : entry.find(", \"", at);
  entry.replace(at, end - at + (value.empty() ? 2 : 0), value.empty() ? "" : "\"" + key + "\": " + value);
  return entry;
}

std::string fault(const std::string& text) {
  const auto read = parse_plot(text);
  return std::holds_alternative<std::string>(read) ? std::get<std::string>(read) : "read";
}

TEST(PlotReader, EveryFaultIsOneLineNamingItsKey) {
  const std::pair<std::string, std::string> cases[] = {
      {report_of(kEntry), "read"},
      {"# TYPE quorvane_wait_duration_seconds summary\n",
       "is OpenMetrics text; --plot reads a report written with --json"},
      {report_of(with("p90", "")), "methods[0] has no p90"},
      // Said as the entry closes: nothing after it is read into memory.
      {report_of("}, {" + with("histogram", R"({"0x10": 3})")), "methods[0] has no method"},
      {report_of(kEntry.substr(0, kEntry.find(", \"histogram\""))), "methods[0] has no histogram"},
      {report_of(with("histogram", "[1]")), "methods[0].histogram is an array, not an object"},
      {report_of(with("histogram", R"({"1001": 1, "1003": 1})")),
       "methods[0].histogram counts 2 samples, not the 3 of samples"},
      {report_of(with("histogram", R"({"1002": 1, "1001": 2})")),
       "methods[0].histogram.1001 is no μs value above the one before"},
      {report_of(with("histogram", R"({"0x10": 3})")), "methods[0].histogram.0x10 is no μs value above"},
      {report_of(with("histogram", R"({"1001": 0, "1002": 3})")),
       "methods[0].histogram.1001 is 0, not a whole number from 1 to"},
      {report_of(with("histogram", R"({"1001": 9223372036854775807, "1002": 9223372036854775807})")),
       "methods[0].histogram counts 9223372036854775807 samples, not the 3"},
      {report_of(with("p99", "-3")), "methods[0].p99 is -3, not a whole number from 0 to 9223372036854775807 or null"},
      {report_of(kEntry + R"(, "cpu_percent": 100.5)"), "methods[0].cpu_percent is 100.5, not a number from 0 to 100"},
      {report_of(kEntry + R"(, "cpu_percent": "5")"), "methods[0].cpu_percent is a string, not a number"},
      {report_of(kEntry + R"(, "timeline": [{"count": 1}])"), "methods[0].timeline[0] has no start"},
      {report_of(kEntry + R"(, "timeline": [{"start": "2026-12-07T03:12:27.000Z", "p99": -1}])"),
       "methods[0].timeline[0].p99 is -1, not"},
      {report_of(kEntry + R"(, "timeline": [5])"), "methods[0].timeline[0] is 5, not an object"},
      {report_of(kEntry + R"(, "timeline": [{"start": 0}])"),
       "methods[0].timeline[0].start is 0, not a time in UTC such as 2026-12-07T03:12:27.123Z"},
      {report_of(kEntry, R"(, "sysinfo": {"nodename": 5})"), "sysinfo.nodename is 5, not a string or null"},
      // A condition as the baseline's reader takes it.
      {report_of(kEntry + R"(, "priority": "fast")"), "methods[0].priority is \"fast\", not \"raised\" or \"normal\""},
      {report_of(kEntry + R"(, "load": 257)"), "methods[0].load is 257, not a whole number from 0 to 256"},
      {report_of(kEntry, R"(, "within": {"us": 5, "choices": [{"method": 7}]})"),
       "within.choices[0].method is 7, not a string or null"},
      {report_of(kEntry, R"(, "within": {"choices": []})"), "within has no us"},
  };
  for (const auto& [text, says] : cases) {
    EXPECT_THAT(fault(text), testing::StartsWith(says)) << text;
  }
}

// What the page shows of an entry (its figures, histogram, timeline, CPU
// share, host and choices) the page's tests read back; here, what it shows of
// the rest, and version 1: waits of 1 ms, one resolution requested for all,
// no CPU share.
TEST(PlotReader, ReadsEachVersion) {
  auto read = parse_plot(report_of(
      kEntry +
          R"(, "cpu_percent": 46.017, "baseline": {"p50": 5, "p99": null, "p999": 7, "max": 8, "change": {}},)"
          R"( "timeline": [{"start": "2026-12-07T03:12:27.000Z", "count": 3, "p99": 1003, "max": 1003}], "unknown": [[{"p99": "x"}]])",
      R"(, "started": "2026-12-06T21:13:44Z", "sysinfo": {"nodename": "bench-2", "cpu_model": null},)"
      R"( "within": {"us": 20, "choices": [{"resolution_requested": null, "method": "Sleep"}]})"));
  ASSERT_TRUE(std::holds_alternative<PlotReport>(read)) << std::get<std::string>(read);
  const PlotReport& two = std::get<PlotReport>(read);
  EXPECT_EQ(two.started, "2026-12-06T21:13:44Z");
  ASSERT_EQ(two.entries.size(), 1U);
  ASSERT_TRUE(two.entries[0].baseline);
  EXPECT_EQ(two.entries[0].baseline->p99, std::nullopt);
  EXPECT_EQ(two.entries[0].baseline->max, 8U);
  std::string one = report_of(with("interval", ""), R"(, "resolution": {"requested": 500})");
  one.replace(one.find("\"file_version\": 2"), 17, "\"file_version\": 1");
  read = parse_plot(one);
  ASSERT_TRUE(std::holds_alternative<PlotReport>(read)) << std::get<std::string>(read);
  EXPECT_EQ(std::get<PlotReport>(read).entries[0].interval_us, 1000U);
  EXPECT_EQ(std::get<PlotReport>(read).entries[0].resolution_requested, 500U);
  EXPECT_EQ(std::get<PlotReport>(read).entries[0].cpu_percent, std::nullopt);
}

}  // namespace
