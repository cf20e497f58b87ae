// Runs of a set duration as a user meets them: the times they take, windows
// and spikes, the file rewritten whole after every window, a full disk, a
// signal; and thin tails marked.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <iterator>
#include <sstream>

#include "report/run_length.hpp"
#include "report/timeline.hpp"
#include "support/command_line.hpp"

namespace {

using namespace std::chrono_literals;
using testing::HasSubstr;
using testing_support::FakePlatform;
using testing_support::FakeTimeOfDay;
using testing_support::run;
using Json = nlohmann::json;

TEST(LongRun, TimesAndMoments) {
  const std::pair<const char*, std::optional<std::chrono::seconds>> times[] = {
      {"90s", 90s},     {"30m", 30min}, {"8h", 8h}, {"1s", 1s},   {"168h", 168h},
      {"10080m", 168h}, {"010s", 10s},  {"0s", {}}, {"169h", {}}, {"604801s", {}},
      {"5x", {}},       {"5", {}},      {"s", {}},  {"", {}},     {"+5s", {}},
      {"5 s", {}},      {"1.5h", {}},   {"5S", {}}, {"-1s", {}},  {"99999999999999999999h", {}}};
  for (const auto& [text, seconds] : times) {
    EXPECT_EQ(report::time_span(text, 1s, 168h), seconds) << text;
  }
  EXPECT_EQ(report::time_text(90s), "90s");
  EXPECT_EQ(report::time_text(90min), "90m");
  EXPECT_EQ(report::time_text(8h), "8h");
  EXPECT_EQ(report::utc_text(0), "1970-01-01T00:00:00.000Z");
  EXPECT_EQ(report::utc_text(FakeTimeOfDay::kStart + 27'123), "2026-12-07T03:12:27.123Z");
  EXPECT_EQ(report::utc_text(1'835'481'599'999), "2028-02-29T23:59:59.999Z");
  // A minute's windows by default, or the whole of a shorter run.
  report::ReportOptions options;
  EXPECT_EQ(report::window_length(options), std::nullopt);
  options.duration = 8h;
  EXPECT_EQ(report::window_length(options), 1min);
  options.duration = 20s;
  EXPECT_EQ(report::window_length(options), 20s);
}

// Two seconds in windows of one, every wait a spike, in every format, into a
// file: rewritten whole after the first window with the figures so far, said
// as they will be said at the end and marked partial, then with the whole
// report. A wall clock set back meanwhile (a time server's step) moves no
// window before the one before it, so that the page can be drawn. (The JSON's
// duration, counts and spike order are the end-to-end long run's checks.)
TEST(LongRun, TextAndMetricsSayPartialAndWorst) {
  struct Case {
    const char* format;
    std::vector<const char*> partial, done;
    std::int64_t clock_step_ms = 1;
  };
  const Case cases[] = {
      {"json", {"\"partial\": true"}, {"\"partial\": false"}},
      {"text",
       {"\nPartial     the run goes on; so far 1 of 2 windows\n", "\nPriority    process granted, thread granted\n",
        "\n            how much of their time they were on a CPU is said when the run ends\n"},
       {"\nSleep, load 1: worst window of 1s from 03:12:0",
        "\nSpikes, waits over 1005 μs (the interval and 5): ", "\nThe longest, in UTC:\n  2026-12-07T03:12:00."}},
      {"openmetrics",
       {"\nquorvane_report_partial 1\n", "\n# EOF\n"},
       {"\nquorvane_report_partial 0\n",
        "\nquorvane_window_wait_seconds{method=\"Sleep\",interval=\"1000\",resolution=\"default\",priority=\"raised\","
        "load=\"1\",cpu=\"any\",statistic=\"p99\"} "
        "0.00101\n",
        "\nquorvane_spikes{method=\"Sleep\",interval=\"1000\",resolution=\"default\",priority=\"raised\",load=\"1\","
        "cpu=\"any\"} "}},
      {"html", {"(the run goes on: the figures so far)"}, {"<svg", "data-plot=\"timeline\""}, -60'000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    FakePlatform platform;
    platform.waits.wait_counts = 10'100;  // 1010 μs a sleep, and a timer's wait
    platform.waits.timer_late_counts = 100;
    platform.trace.writable = true;
    // Each wait is seen to end on CPU 3: the spike's CPU is that reading.
    platform.placement.unpinned = [] { return std::optional<std::uint32_t>(3); };
    platform.time_of_day.step_ms = c.clock_step_ms;
    const auto r = run({"--report", "--format", c.format, "--duration", "2s", "--window", "1s", "--method",
                        "sleep,timer", "--spike", "5", "--load", "1", "--output", "out"},
                       platform);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "") << "the report goes to the file alone";
    ASSERT_EQ(platform.files.written.size(), 2U);
    for (const char* text : c.partial) {
      EXPECT_THAT(platform.files.written[0], HasSubstr(text));
    }
    for (const char* text : c.done) {
      EXPECT_THAT(platform.files.written[1], HasSubstr(text));
    }
    if (c.format != std::string("json")) {
      continue;
    }
    const Json partial = Json::parse(platform.files.written[0]), done = Json::parse(platform.files.files["out"]);
    EXPECT_EQ(partial["methods"][0]["timeline"].size(), 1U);
    std::uint64_t spikes = 0;
    for (const Json& method : done["methods"]) {
      SCOPED_TRACE(method["method"].dump());
      const Json& windows = method["timeline"];
      ASSERT_EQ(windows.size(), 2U);
      EXPECT_LT(windows[0]["start"].get<std::string>(), windows[1]["start"].get<std::string>());
      for (const Json& window : windows) {
        EXPECT_NEAR(window["seconds"].get<double>(), 1.0, 0.3);
        EXPECT_TRUE(window["p50"] == 1010 && window["max"] >= 1010) << window;
      }
      EXPECT_EQ(method["spikes"], method["samples"]) << "every wait is longer than 1005 μs";
      spikes += method["spikes"].get<std::uint64_t>();
    }
    const Json& log = done["spikes"];
    EXPECT_EQ((Json{log["count"], log["over"], log["trace_marker"], log["marked"]}),
              (Json{spikes, 1005, true, spikes}));
    ASSERT_EQ(log["kept"].size(), spikes);
    EXPECT_EQ(log["kept"][0]["cpu"], 3);
    EXPECT_EQ(platform.trace.lines().size(), spikes);
  }
}

// A file that cannot be written stops the run with status 1, the file as it
// was; a signal writes the report so far, whole, marked interrupted; a run
// that fails says what its file holds.
TEST(LongRun, FullDiskSignalAndFailure) {
  struct Case {
    std::vector<std::string> args;
    int fail_at, signal_at, status;
    std::string err, file;  // the file's start afterwards
    std::size_t pins_granted = SIZE_MAX;
  };
  const std::string full = "No space left on device";
  const std::string rewrite =
      "quorvane: out could not be rewritten: " + full + "; it is left as it was, and measuring stopped\n";
  const std::string unpinned =
      "quorvane: the report failed: the measuring thread could not be kept to CPU 0; out holds "
      "the figures of the windows before, marked partial\n";
  const Case cases[] = {
      // Stopped at the first window: the second's rewrite would have succeeded.
      {{"--duration", "3s", "--window", "1s"}, 1, 0, 1, rewrite, "old"},
      {{"--samples", "3"}, 1, 0, 1, "quorvane: the report could not be written to out: " + full + "\n", "old"},
      {{"--duration", "1h"}, 0, 3, 0, "", "{"},
      // Its third phase, after the first window, cannot keep to its CPU.
      {{"--duration", "4s", "--window", "1s", "--load", "0,1", "--cpu", "0"}, 0, 0, 1, unpinned, "{", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    FakePlatform platform;
    platform.files.files["out"] = "old";
    platform.files.fail_at = c.fail_at;
    platform.placement.pins_granted = c.pins_granted;
    std::vector<std::string> args{"--report", "--json", "--method", "sleep", "-o", "out"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto r = run(args, platform, c.signal_at);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(platform.files.files["out"].substr(0, c.file.size()), c.file);
    if (c.signal_at != 0) {
      const Json doc = Json::parse(platform.files.files["out"]);
      EXPECT_EQ(doc["interrupted"], true);
      EXPECT_EQ(doc["partial"], false);
      EXPECT_EQ(doc["methods"][0]["timeline"].size(), 1U) << "the window in progress, cut short";
    }
  }
}

// p99.9 of 2000 waits rests on two: marked, in JSON and in the table; p99
// rests on twenty and is not. A run of --samples stays exact.
TEST(LongRun, ThinTailsAreMarked) {
  FakePlatform platform;
  platform.waits.wait_counts = 10;  // 1 μs sleeps: a step takes hundreds
  platform.waits.overhead_counts = 0;
  auto r = run({"--report", "--json", "--samples", "2000", "--method", "sleep"}, platform);
  const Json method = Json::parse(r.out)["methods"][0];
  EXPECT_EQ(method["thin"], Json::parse(R"(["p999"])"));
  EXPECT_EQ(method["approximate"], Json::array());
  ASSERT_EQ(method["timeline"].size(), 1U) << "without --duration, the whole run";
  EXPECT_EQ(method["timeline"][0]["count"], 2000);
  EXPECT_EQ(method["timeline"][0]["thin"], Json::array());
  r = run({"--report", "--samples", "2000", "--method", "sleep"}, platform);
  std::istringstream row(r.out.substr(r.out.find("\nSleep ")));
  std::vector<std::string> cells{std::istream_iterator<std::string>(row), {}};
  ASSERT_GE(cells.size(), 8U);
  for (std::size_t i = 3; i < 8; ++i) {
    EXPECT_EQ(cells[i].front() == '~', i == 6) << "column " << i << ": " << cells[i];  // p50, p90, p99, p99.9, max
  }
  EXPECT_THAT(r.out, HasSubstr("\n~: fewer than ten waits lie beyond this percentile"));
}

}  // namespace
