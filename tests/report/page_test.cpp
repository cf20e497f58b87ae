// The page of plots: the figures read back out of its SVG are the JSON's of
// the same run; every plot has a series per entry, axes and a legend; a text
// from a file or a host shows as text; reports overlaid are named by host, or
// by file where two share one.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "report/html_page.hpp"
#include "report/plot_reader.hpp"
#include "report/svg.hpp"
#include "support/command_line.hpp"
#include "support/page.hpp"

namespace {

using Json = nlohmann::json;
using testing::HasSubstr;
using testing::Not;
using testing_support::Element;
using testing_support::FakePlatform;
using testing_support::of_class;
using testing_support::plots_of;

// A plot's elements cut at each series: the series' own come after it.
std::vector<std::vector<Element>> by_series(const std::vector<Element>& elements) {
  std::vector<std::vector<Element>> series;
  for (const Element& e : elements) {
    if (e.has("class") && e["class"] == "series") {
      series.emplace_back();
    }
    if (!series.empty()) {
      series.back().push_back(e);
    }
  }
  return series;
}

// The nearest rank of a histogram, sample by sample.
std::uint64_t rank(const Json& histogram, std::uint64_t parts, std::uint64_t whole) {
  std::vector<std::uint64_t> samples;
  for (const auto& [value, count] : histogram.items()) {
    samples.insert(samples.end(), count.get<std::size_t>(), std::stoull(value));
  }
  std::sort(samples.begin(), samples.end());
  return samples[(samples.size() * parts + whole - 1) / whole - 1];
}

std::string text(const Json& number) { return number.is_null() ? "" : number.dump(); }

TEST(Page, FiguresReadBackAsTheJsonOfTheRun) {
  FakePlatform platform;
  // Every figure different: sleeps of 1000 to 1996 μs, timers late by up to
  // 99 μs; at the second resolution on time, so that another is chosen.
  platform.waits.on_wait = [&platform, n = 0]() mutable {
    ++n;
    platform.waits.wait_counts = 10'000 + (n * 7919 % 997) * 10;
    platform.waits.timer_late_counts = platform.waits.requests.size() > 1 ? 0 : (n * 104'729 % 100) * 10;
  };
  const std::string earlier = testing_support::baseline("page-base.json", "sleep,timer", [](Json& doc) {
    for (std::uint64_t i = 0; i < 2; ++i) {
      doc["methods"][i].update(
          Json{{"resolution_requested", 500}, {"p50", 1001 + i}, {"p99", 1003 + i}, {"p999", 1005 + i}, {"max", 1007}});
    }
  });
  const std::string file = testing::TempDir() + "page.html";
  const auto r = testing_support::run({"--report", "--json", "--html", file, "--method", "all", "--samples", "40",
                                       "--within", "60", "--resolution", "500,1000", "--compare", earlier},
                                      platform);
  ASSERT_EQ(r.status, 0) << r.err;
  const Json doc = Json::parse(r.out);
  const Json& methods = doc["methods"];
  const auto plots = plots_of(platform.files.files.at(file));
  for (const char* name : {"tradeoff", "percentiles", "histograms"}) {
    ASSERT_TRUE(plots.contains(name)) << name;
    ASSERT_EQ(of_class(plots.at(name), "series").size(), methods.size()) << name;
  }
  EXPECT_FALSE(plots.contains("timeline")) << "one window each, the whole run: no timeline";
  const auto tradeoff = by_series(plots.at("tradeoff"));
  const auto percentiles = by_series(plots.at("percentiles"));
  const auto histograms = by_series(plots.at("histograms"));
  std::size_t chosen = 0;
  for (std::size_t i = 0; i < methods.size(); ++i) {
    const Json& m = methods[i];
    SCOPED_TRACE(m["method"].get<std::string>() + " at " + m["resolution_requested"].dump());
    const Element& point = tradeoff[i].front();
    EXPECT_THAT(point["data-entry"], HasSubstr(m["method"].get<std::string>()));
    EXPECT_EQ(point["data-p99"], text(m["p99"]));
    EXPECT_EQ(std::stod(point["data-cpu"]), m["cpu_percent"].get<double>());
    EXPECT_EQ(point["data-interval"], text(m["interval"]));
    const auto& choices = doc["within"]["choices"];
    const bool named = std::any_of(choices.begin(), choices.end(), [&](const Json& c) {
      return c["method"] == m["method"] && c["resolution_requested"] == m["resolution_requested"] &&
             c["priority"] == m["priority"] && c["load"] == m["load"] && c["cpu"] == m["cpu"];
    });
    EXPECT_EQ(point.has("data-chosen"), named);
    chosen += named ? 1 : 0;
    const Element& curve = percentiles[i].front();
    for (const char* key : {"p50", "p90", "p99", "p999", "max"}) {
      EXPECT_EQ(curve["data-" + std::string(key)], text(m[key])) << key;
    }
    EXPECT_EQ(curve["data-p9999"], std::to_string(rank(m["histogram"], 9999, 10000)));
    // The earlier report's curve, where it has the entry.
    const auto earlier_curve = of_class(percentiles[i], "baseline");
    ASSERT_EQ(earlier_curve.size(), m["baseline"].is_null() ? 0U : 1U);
    for (const Element& before : earlier_curve) {
      for (const char* key : {"p50", "p99", "p999", "max"}) {
        EXPECT_EQ(before["data-" + std::string(key)], text(m["baseline"][key])) << key;
      }
    }
    // Each bar counts the JSON's samples from its first value to its last; together, all of them.
    const Element& row = histograms[i].front();
    EXPECT_EQ(row["data-samples"], text(m["samples"]));
    EXPECT_EQ(row["data-min"], text(m["min"]));
    EXPECT_EQ(row["data-max"], text(m["max"]));
    std::uint64_t counted = 0;
    for (const Element& bar : histograms[i]) {
      if (!bar.has("data-count")) {
        continue;
      }
      std::uint64_t in_range = 0;
      for (const auto& [value, count] : m["histogram"].items()) {
        const auto us = std::stoull(value);
        in_range +=
            us >= std::stoull(bar["data-from"]) && us <= std::stoull(bar["data-to"]) ? count.get<std::uint64_t>() : 0;
      }
      EXPECT_EQ(bar["data-count"], std::to_string(in_range)) << bar["data-from"] << " to " << bar["data-to"];
      counted += std::stoull(bar["data-count"]);
    }
    EXPECT_EQ(counted, m["samples"].get<std::uint64_t>());
  }
  EXPECT_EQ(chosen, 2U) << "a choice per resolution";
  EXPECT_EQ(of_class(plots.at("percentiles"), "baseline").size(), 2U);
}

// A timeline is drawn from the JSON's windows, and only where it has some;
// p99.99, which the JSON has not, from its histogram.
TEST(Page, TimelineAndFinerPercentilesFromTheJson) {
  auto doc = testing_support::measured("sleep,busywait");
  doc["methods"][1]["timeline"] = Json::parse(R"([
      {"start": "2026-12-07T03:12:27.000Z", "seconds": 0.5, "count": 2, "p50": 1001, "p99": 1050, "max": 1100},
      {"start": "2026-12-07T03:12:27.500Z", "seconds": 0.5, "count": 1, "p50": 1002, "p99": null, "max": 1300},
      {"start": "2026-12-07T03:12:28Z", "seconds": 0.5, "count": 2, "p50": 1003, "p99": 1070, "max": 1400}])");
  doc["methods"][0]["samples"] = 10'000;
  doc["methods"][0]["histogram"] = {{"1000", 9990}, {"1001", 9}, {"1002", 1}};
  auto read = report::parse_plot(doc.dump());
  ASSERT_TRUE(std::holds_alternative<report::PlotReport>(read)) << std::get<std::string>(read);
  const auto plots = plots_of(report::html_page({std::get<report::PlotReport>(read)}));
  EXPECT_EQ(of_class(plots.at("percentiles"), "series")[0]["data-p9999"], "1001");
  ASSERT_TRUE(plots.contains("timeline"));
  const auto series = by_series(plots.at("timeline"));
  ASSERT_EQ(series.size(), 1U) << "only the entry with windows";
  EXPECT_EQ(series[0].front()["data-entry"], "BusyWait");
  std::map<std::string, std::string> values;
  for (const Element& e : series[0]) {
    if (e.has("data-figure")) {
      values[e["data-figure"]] = e["data-values"];
    }
  }
  EXPECT_EQ(values, (std::map<std::string, std::string>{{"p99", "1050 1070"}, {"max", "1100 1300 1400"}}));
  // A start that is no time in UTC, or before the window before it, is refused.
  for (const char* start : {R"("2026-12-07 03:12:27Z")", R"("2026-02-30T00:00:00Z")", R"("2026-12-07T03:12:26Z")"}) {
    auto bad = doc;
    bad["methods"][1]["timeline"][2]["start"] = Json::parse(start);
    const auto refused = report::parse_plot(bad.dump());
    ASSERT_TRUE(std::holds_alternative<std::string>(refused)) << start;
    EXPECT_THAT(std::get<std::string>(refused), testing::StartsWith("methods[1].timeline[2]")) << start;
  }
}

TEST(Page, TextFromFilesAndHostsShowsAsText) {
  const std::pair<std::string, std::string> cases[] = {
      {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
      {"a & b", "a &amp; b"},
      {R"("quoted" 'single')", "&quot;quoted&quot; &#39;single&#39;"},
      {"bell\x07 and \x1b[2J", "bell\\x07 and \\x1b[2J"},
      {"\xEF\xBF\xBE\xEF\xBF\xBF", "\\ufffe\\uffff"},
  };
  for (const auto& [given, shown] : cases) {
    EXPECT_EQ(report::html_escaped(given), shown);
  }
  // Two reports from two hosts, one of them hostile, overlaid with --plot and named by host.
  auto doc = testing_support::measured("sleep", {"--within", "5"});
  doc["sysinfo"]["nodename"] = "other-host";
  const std::string plain = testing_support::file("plain.json", doc.dump());
  doc["sysinfo"]["nodename"] = "<script>alert(1)</script>";
  doc["sysinfo"]["cpu_model"] = "\"><img src=x onerror=alert(2)>";
  doc["methods"][0]["method"] = "<b>Sleep</b>";
  doc["within"]["choices"][0]["method"] = "<b>Sleep</b>";
  const std::string hostile = testing_support::file("a&b's.json", doc.dump());
  const std::string page_file = testing::TempDir() + "hostile.html";
  FakePlatform platform;
  const auto r = testing_support::run({"--plot", hostile, plain, "-o", page_file}, platform);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string page = platform.files.files.at(page_file);
  for (const char* raw : {"<script", "<img", "<b>", "alert(1)</script>"}) {
    EXPECT_THAT(page, Not(HasSubstr(raw)));
  }
  EXPECT_THAT(page, HasSubstr("&lt;script&gt;alert(1)&lt;/script&gt; · &lt;b&gt;Sleep&lt;/b&gt;"));
  EXPECT_THAT(page, HasSubstr("&quot;&gt;&lt;img src=x onerror=alert(2)&gt;"));
  EXPECT_THAT(page, HasSubstr("a&amp;b&#39;s.json"));
  const auto tradeoff = plots_of(page).at("tradeoff");
  ASSERT_EQ(of_class(tradeoff, "series").size(), 2U);
  EXPECT_EQ(of_class(tradeoff, "series")[0]["data-report"], "<script>alert(1)</script>");
  EXPECT_EQ(of_class(tradeoff, "series")[1]["data-report"], "other-host");
  EXPECT_TRUE(of_class(tradeoff, "series")[0].has("data-chosen")) << "its choice found by the name it gave";
  // Two of one host are named by their files.
  const std::string again = testing_support::file("again.json", testing_support::contents(plain));
  ASSERT_EQ(testing_support::run({"--plot", plain, again, "-o", page_file}, platform).status, 0);
  const auto named = of_class(plots_of(platform.files.files.at(page_file)).at("percentiles"), "series");
  ASSERT_EQ(named.size(), 2U);
  EXPECT_EQ(named[0]["data-report"] + " " + named[0]["data-entry"], plain + " " + plain + " · Sleep");
  EXPECT_EQ(named[1]["data-report"] + " " + named[1]["data-entry"], again + " " + again + " · Sleep");
}

}  // namespace
