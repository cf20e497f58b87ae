// The report as a user meets it: its options, outputs, comparison and exit
// status, through the entry with its streams captured.
#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "support/command_line.hpp"

namespace {

using testing::HasSubstr;
using testing_support::baseline;
using testing_support::expect_refused;
using testing_support::FakePlatform;
using testing_support::run;

TEST(Report, BadOptionsGetOneLineAndMeasureNothing) {
  const std::string methods =
      "--method: accepts sleep, busywait, timer, hrtimer or hybrid (or all), separated by commas";
  std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--report", "--samples"}, "--samples: 1 required"},
      {{"--report", "--method", "slep"}, methods + ", not \"slep\""},
      {{"--report", "--method", "timer,Timer"}, "--method: names each method once; \"timer\" came twice"},
      {{"--report", "--method", "sleep", "--method", "all"}, "--method: all names every method and goes alone"},
      {{"--report", "--resolution", "500,1000", "--resolution", "500"},
       "--resolution: names each resolution once; 500 came twice"},
      {{"--report", "--format", "xml"}, "--format: accepts text, json, openmetrics or html, not \"xml\""},
      // The option after --compare is no file name.
      {{"--report", "--compare", "--max-p99", "5"}, "--compare: needs the file of an earlier --json report"},
      {{"--report", "--max-p9", "5"}, "unknown argument \"--max-p9\""},
      // After "--" nothing is an option.
      {{"--report", "--method", "busywait", "--", "--json"}, "unknown argument \"--json\""},
      {{"--report", "--max-regression", "5"}, "--max-regression requires --compare"},
      {{"--report", "--json", "--format", "text"}, "--json excludes --format"},
      // A run of a set duration, its windows, spikes and file.
      {{"--report", "--duration", "5s", "--samples", "10"}, "--samples excludes --duration"},
      {{"--report", "--window", "5s"}, "--window requires --duration"},
      {{"--report", "--duration", "1m", "--window", "2m"}, "--window 2m is longer than --duration 1m"},
      {{"--report", "--duration", "8h", "--window", "1s"},
       "--window 1s cuts --duration 8h into 28800 windows; a report holds at most 10080"},
      {{"--report", "--spike", "-1"}, "--spike: accepts a whole number of μs from 0 to 1000000, not \"-1\""},
      {{"--report", "-o", "missing/r.json"}, "--output missing/r.json: cannot be written: No such file or directory"},
      {{"--report", "--output", "folder"}, "--output folder: is a directory"},
      {{"--report", "--output", "--json"}, "--output: needs a file to write to, not \"--json\""},
  };
  for (const char* time : {"0", "5x", "0s", "10", "1.5h", "169h", "-1s", ""}) {
    for (const char* option : {"--duration", "--window"}) {
      cases.push_back({{"--report", option, time, "--duration", "1h"},
                       fmt::format("{}: accepts a time in whole seconds, minutes or hours (90s, 30m, 8h) from 1s to "
                                   "168h, not \"{}\"",
                                   option, time)});
    }
  }
  // Every number is decimal digits alone, read one way for every option.
  const std::pair<const char*, const char*> numbers[] = {
      {"--samples", "accepts a whole number from 1 to 1000000"},
      {"--interval", "accepts a whole number of μs from 1 to 1000000"},
      {"--max-p99", "accepts a whole number of μs from 0 to 1000000"},
      {"--within", "accepts a whole number of μs from 0 to 1000000"},
  };
  for (const auto& [option, accepts] : numbers) {
    for (const char* value : {"0x10", "0b1111101000", "0o17", "1_000", "1'000", " 5", "5 ", "", "1e3", "+5", "-1",
                              "1.5", "x", "1000001", "99999999999999999999999"}) {
      cases.push_back({{"--report", option, value}, fmt::format("{}: {}, not \"{}\"", option, accepts, value)});
    }
  }
  cases.push_back({{"--report", "--samples", "0"}, "--samples: accepts a whole number from 1 to 1000000, not \"0\""});
  // A list with an empty item, or an item out of range; nor does a bad list take the next argument.
  for (const char* list : {"500,,1000", "500,", ",", "-1", "1000001", "5,1000001", "5, 6", "0x10"}) {
    cases.push_back({{"--report", "--resolution", list, "--json"},
                     "--resolution: accepts whole numbers of μs from 0 to 1000000, separated by commas, not \"" +
                         std::string(list) + "\""});
  }
  for (const char* list : {"sleep,", ",", "sleep,,timer", ""}) {
    cases.push_back({{"--report", "--method", list}, methods + ", not \"" + list + "\""});
  }
  // A value given to a flag is refused, whatever it says.
  for (const char* value : {"--json=maybe", "--json=0", "--json=false", "--json=true", "--json="}) {
    cases.push_back({{"--report", value}, "--json takes no value"});
  }
  for (const char* value : {"--report=1", "--report=yes", "--report=", "--report=0", "--report=off"}) {
    cases.push_back({{value}, "--report takes no value"});
  }
  // A baseline that cannot be compared with (its reader has a table of its
  // own). Control characters in a name it gives are shown, not obeyed (no
  // file has such a name on Windows, nor here).
  const std::string dir = testing::TempDir();
  const std::string v9 = baseline("v9.json", "sleep", [](auto& doc) { doc["file_version"] = 9; });
  cases.push_back({{"--report", "--compare", dir + "none.json"}, "--compare " + dir + "none.json: cannot be read: "});
  cases.push_back({{"--report", "--compare", dir + "bell\x07"}, "--compare " + dir + "bell\\x07: cannot be read: "});
  cases.push_back(
      {{"--report", "--compare", v9},
       "--compare " + v9 + ": is a report of file_version 9, which this Quorvane does not read (it reads 1 to 2)"});
  for (const char* option : {"--json", "--samples=5", "--resolution=5", "--max-p99=5", "--within=5", "--format=json",
                             "--compare=x", "--duration=1s", "--spike=5"}) {
    cases.push_back({{option}, std::string(option).substr(0, std::string(option).find('=')) + " requires --report"});
  }
  for (const auto& [args, says] : cases) {
    FakePlatform platform;
    platform.files.refused = {{"missing/r.json", "cannot be written: No such file or directory"},
                              {"folder", "is a directory"}};
    expect_refused(args, platform, says);
  }
}

// Every method at two resolutions in turn: what each wait cost, the
// fallbacks (no high-resolution timer here), the choice within 5 μs. Numbers
// are read as written (a leading zero is no octal), the last of a repeated
// option holding.
TEST(Report, JsonDocumentReadsBack) {
  FakePlatform platform;
  platform.waits.wait_counts = 20'000;  // the waits last their 2000 μs
  platform.waits.high_resolution_refused = true;
  const auto r = run({"--report", "--json", "--samples=3", "--method", "ALL", "--interval", "5", "--interval", "02000",
                      "--resolution", "0500,1000", "--within", "5"},
                     platform);
  ASSERT_EQ(r.status, 0) << r.err;
  const auto doc = nlohmann::json::parse(r.out);
  // What the measuring thread met as it began: after the first request.
  EXPECT_EQ(doc["resolution"], nlohmann::json::parse(R"({"current": 500, "coarsest": 15625, "finest": 500})"));
  EXPECT_EQ(platform.waits.requests, (std::vector<std::uint32_t>{500, 1000}));
  EXPECT_EQ(platform.waits.releases, platform.waits.requests) << "each request withdrawn";
  ASSERT_EQ(doc["methods"].size(), 10U);
  const char* names[] = {"Sleep", "BusyWait", "HighPrecisionSleep", "HighResolutionTimer", "Hybrid"};
  for (std::size_t i = 0; i < 10; ++i) {
    const auto& m = doc["methods"][i];
    SCOPED_TRACE(m.dump());
    EXPECT_EQ(m["method"], names[i % 5]);
    EXPECT_EQ(m["interval"], 2000);
    EXPECT_EQ(m["resolution_requested"], i < 5 ? 500 : 1000);
    EXPECT_EQ(m["resolution_granted"], m["resolution_requested"]);
    EXPECT_EQ(m["samples"], 3);
    // Never early; the CPU clock, read outside the timestamps, costs a wait nothing.
    EXPECT_TRUE(m["min"] >= 2000 && m["max"] <= 2010 && m["early"] == 0);
    EXPECT_EQ(m["fallbacks"], i % 5 >= 3 ? 3 : 0);
    // A spin is on a CPU all its time, Hybrid for its margin (half the
    // interval, until it learns its timer), the rest only to read the counter.
    const double cpu[] = {0, 100, 0, 0, 50};
    EXPECT_NEAR(m["cpu_percent"].get<double>(), cpu[i % 5], 1.0);
  }
  // The spin costs the most; the choice itself is the analysis's.
  ASSERT_EQ(doc["within"]["choices"].size(), 2U);
  for (const auto& choice : doc["within"]["choices"]) {
    EXPECT_TRUE(choice["method"].is_string() && choice["method"] != "BusyWait") << choice;
  }
}

// What the table says of a method that fell back, of a CPU time the system
// will not give, and of a choice none can meet.
TEST(Report, TextSaysFallbacksUnknownCostsAndChoices) {
  FakePlatform platform;
  platform.waits.timer_creation_fails = true;
  platform.waits.cpu_unknown = true;
  platform.waits.wait_counts = 10'100;  // 1010 μs a sleep
  auto r = run({"--report", "--method", "timer", "--samples", "3", "--within", "9"}, platform);
  // The row names the fallback, a line below the table counts its waits.
  const auto row = r.out.substr(r.out.find("\nHighPrecisionSleep→Sleep  "));
  EXPECT_THAT(row.substr(0, row.find('\n', 1) + 1), testing::EndsWith(" -\n")) << "no CPU share";
  EXPECT_THAT(row, HasSubstr("\nHighPrecisionSleep→Sleep: 3 of 3 waits fell back to Sleep.\n"));
  EXPECT_THAT(r.out, testing::HasSubstr("Within 9 μs of 1000 μs: none of the methods measured.\n"));
  r = run({"--report", "--method", "timer", "--samples", "3", "--within", "10"}, platform);
  EXPECT_THAT(r.out, testing::HasSubstr("Within 10 μs of 1000 μs: HighPrecisionSleep, with a p99 of 1010 μs; "
                                        "what the waits cost in CPU this system does not say.\n"));
}

// Against an earlier report: methods on both sides compared, the others
// named; an interrupted baseline said; a report of the first version read.
TEST(Report, ComparesWithAnEarlierReport) {
  FakePlatform platform;
  auto r = run({"--report", "--samples", "3", "--method", "sleep,timer", "--compare",
                baseline("sleep-busywait.json", "sleep,busywait", [](auto& doc) { doc["interrupted"] = true; })},
               platform);
  EXPECT_THAT(r.out, HasSubstr("(Quorvane 1.0.1; interrupted: it holds what was measured before a signal stopped it)"));
  EXPECT_THAT(r.out, testing::ContainsRegex("Sleep +p50 +1000 +1000 +0\n +p99 "));
  EXPECT_THAT(r.out, HasSubstr("Only now: HighPrecisionSleep (1000 μs)\nOnly in the baseline: BusyWait (1000 μs)\n"));
  // Version 1: waits of 1 ms, and the resolution requested once for all.
  const std::string v1 = baseline("v1.json", "sleep", [](auto& doc) {
    doc["file_version"] = 1;
    doc["resolution"]["requested"] = 500;
    doc["methods"][0].erase("interval"), doc["methods"][0].erase("resolution_requested");
    doc["methods"][0]["p99"] = 990;
  });
  r = run({"--report", "--json", "--samples", "3", "--method", "sleep", "--resolution", "600,500", "--compare", v1},
          platform);
  const auto doc = nlohmann::json::parse(r.out);
  EXPECT_EQ(doc["methods"][0]["baseline"], nullptr) << "measured at another resolution";
  EXPECT_EQ(doc["methods"][1]["baseline"]["p99"], 990);
  EXPECT_EQ(doc["methods"][1]["baseline"]["change"]["p99"], 10);
  EXPECT_EQ(doc["baseline"]["only_in_baseline"], nlohmann::json::array());
  // The figures so far of a run that went on are said to be no more.
  r = run({"--report", "--samples", "3", "--method", "sleep", "--compare",
           baseline("partial.json", "sleep", [](auto& earlier) { earlier["partial"] = true; })},
          platform);
  EXPECT_THAT(r.out, HasSubstr("(Quorvane 1.0.1; partial: it holds what a run that went on had measured so far)"));
}

// The summary of every entry, and with --compare and --within what the text
// says: the baseline's figures beside the new ones, and which method is the choice.
TEST(Report, OpenMetrics) {
  FakePlatform platform;
  const std::string earlier =
      baseline("om-990.json", "sleep,busywait", [](auto& doc) { doc["methods"][1]["p99"] = 990; });
  const auto r = run({"--report", "--format", "openmetrics", "--samples", "3", "--method", "sleep,busywait", "--within",
                      "0", "--compare", earlier},
                     platform);
  const std::string labels = "interval=\"1000\",resolution=\"default\",priority=\"raised\",load=\"0\",cpu=\"any\"";
  const std::string busy = "{method=\"BusyWait\"," + labels, sleep = "{method=\"Sleep\"," + labels;
  EXPECT_THAT(r.out, HasSubstr("# TYPE quorvane_wait_duration_seconds summary\n# UNIT quorvane_wait_duration_seconds "
                               "seconds\nquorvane_wait_duration_seconds" +
                               sleep + ",quantile=\"0.5\"} 0.001\n"));
  EXPECT_THAT(r.out, HasSubstr("_count" + sleep + "} 3\n"));
  EXPECT_THAT(r.out, HasSubstr("\nquorvane_baseline_wait_seconds" + busy + ",statistic=\"p99\"} 0.00099\n"));
  EXPECT_THAT(r.out, HasSubstr("\nquorvane_baseline_compared 1\n"));
  // Both are on time; Sleep costs less CPU.
  EXPECT_THAT(r.out, HasSubstr("\nquorvane_within_cheapest" + sleep + "} 1\n"));
  EXPECT_THAT(r.out, testing::EndsWith("\nquorvane_within_cheapest" + busy + "} 0\n# EOF\n"));
  EXPECT_THAT(r.out, HasSubstr("\nquorvane_report_interrupted 0\n# HELP quorvane_report_partial 1 while the "
                               "run goes on: the figures so far, rewritten after every window.\n# TYPE "
                               "quorvane_report_partial gauge\nquorvane_report_partial 0\n"));
}

// The gates decide the status; a gate that compared nothing has not passed.
// (A stop signal's and an unwritable output's are the conditions' test's.)
TEST(Report, ExitStatus) {
  // Arguments, status, output, error.
  using Case = std::tuple<std::vector<std::string>, int, std::string, std::string>;
  const auto p99 = [](std::uint64_t us) {
    return [us](nlohmann::json& doc) { doc["methods"][0]["p99"] = doc["methods"][0]["p50"] = us; };
  };
  const std::string earlier = baseline("p99-990.json", "sleep", p99(990));
  const std::string elsewhere = baseline("2000.json", "sleep", [](auto& doc) { doc["methods"][0]["interval"] = 2000; });
  // Far-apart figures move by what they moved, without overflow.
  const std::string highest = baseline("highest.json", "sleep", p99(9223372036854775807U));
  const std::string waits = ": the baseline's waits were of 2000 μs, these of 1000 μs";
  const std::string uncompared = "nothing was compared with " + elsewhere + waits + "\n";
  const std::string rose = "quorvane: Sleep p99 rose by 10 μs (990 → 1000 μs), more than --max-regression 9 μs\n";
  const std::string resolution = "quorvane: nothing was compared with " + earlier +
                                 ": the baseline was measured at the resolution in effect, this report at resolution "
                                 "500 μs\n";
  const Case cases[] = {
      {{"--compare", earlier, "--max-regression", "10"}, 0, "Compared", ""},
      {{"--compare", earlier, "--max-regression", "9"}, 3, "Compared", rose},
      {{"--compare", highest, "--max-regression", "0"}, 0, "-9223372036854774807", ""},
      {{"--compare", elsewhere, "--max-regression", "1000"},
       3,
       "Nothing compared" + waits + ".\n",
       "quorvane: " + uncompared},
      {{"--compare", elsewhere}, 0, "Only in the baseline: Sleep (2000 μs)\n", "quorvane: warning: " + uncompared},
      {{"--compare", earlier, "--resolution", "500", "--max-regression", "9"}, 3, "", resolution},
      {{"--max-p99", "1001"}, 0, "Method", ""},
      {{"--max-p99", "999"}, 3, "Method", "quorvane: Sleep p99 1000 μs is above --max-p99 999 μs\n"},
  };
  for (const auto& [extra, status, out, err] : cases) {
    SCOPED_TRACE(testing::PrintToString(extra));
    FakePlatform platform;
    std::vector<std::string> args{"--report", "--method", "sleep", "--samples", "3"};
    args.insert(args.end(), extra.begin(), extra.end());
    const auto r = run(args, platform);
    EXPECT_EQ(r.status, status);
    EXPECT_THAT(r.out, testing::HasSubstr(out));
    EXPECT_EQ(r.err, err);
  }
}

// A page refused before any work is done, with one line and nothing written;
// a page that could not be written after measuring, status 1.
TEST(Report, PagesOfPlots) {
  namespace fs = std::filesystem;
  const std::string folder = testing::TempDir();
  const std::string page = folder + "refused.html", missing = folder + "missing" + "/page.html";
  fs::remove(page);
  const std::string good = baseline("good.json", "sleep", [](auto&) {});
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--plot"}, "--plot: 1 required"},
      {{"--plot", good}, "--plot requires --output"},
      {{"-o", page}, "--output requires --report or --plot"},
      {{"--html", page}, "--html requires --report"},
      {{"--report", "--html"}, "--html: 1 required"},
      {{"--report", "--plot", good, "-o", page}, "--report excludes --plot"},
      {{"--report", "--html", folder}, "--html " + folder + ": is a directory"},
      {{"--plot", good, "-o", missing}, "-o " + missing + ": cannot be written: "},
      {{"--plot", good, good, "-o", page}, "--plot: names each file once; \"" + good + "\" came twice"},
      // Never over what it reads, however the name is spelt.
      {{"--plot", good, "-o", folder + "./good.json"}, "-o " + folder + "./good.json: is the report it reads, which"},
      {{"--report", "--compare", good, "--html", good}, "--html " + good + ": is the report it reads, which the page"},
      {{"--report", "--json", "-o", page, "--html", page},
       "--html " + page + ": is the report's --output, which the page"},
      {{"--report", "--compare", good, "--format", "html", "-o", good},
       "--output " + good + ": is the report it reads"},
      {{"--plot", good, "-o", page, "stray"}, "unknown argument \"stray\""},
      {{"--plot", good, folder + "absent.json", "-o", page}, "--plot " + folder + "absent.json: cannot be read: "},
  };
  for (const auto& [args, says] : cases) {
    FakePlatform platform;
    platform.real_files = true;
    expect_refused(args, platform, says);
    EXPECT_FALSE(fs::exists(page)) << "a page written";
  }
  // Its folder gone while measuring: the report is written, the page cannot be.
  FakePlatform platform;
  platform.real_files = true;
  fs::create_directories(folder + "going");
  platform.waits.on_wait = [&] { fs::remove_all(folder + "going"); };
  auto r = run({"--report", "--samples", "3", "--method", "sleep", "--html", folder + "going/page.html"}, platform);
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.out, HasSubstr("Sleep"));
  EXPECT_THAT(r.err, testing::StartsWith("quorvane: the page could not be written to " + folder + "going/page.html: "));
}

}  // namespace
