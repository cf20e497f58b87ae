#include "report/openmetrics_report.hpp"

#include <fmt/format.h>

#include "measure/conditions.hpp"

namespace report {
namespace {

// Prometheus counts time in seconds.
double seconds(double us) { return us / 1e6; }

class Family {
 public:
  Family(std::string& out, const char* name, const char* type, const char* unit, const char* help)
      : out_(out), name_(name) {
    out_ += fmt::format("# HELP {} {}\n# TYPE {} {}\n", name, help, name, type);
    if (*unit != '\0') {
      out_ += fmt::format("# UNIT {} {}\n", name, unit);
    }
  }
  // One sample; `suffix` for a summary's _sum and _count, `extra` a label
  // after the others.
  void sample(const std::string& labels, double value, const char* suffix = "", const std::string& extra = "") {
    const std::string all = labels + extra;
    out_ += all.empty() ? fmt::format("{}{} {}\n", name_, suffix, value)
                        : fmt::format("{}{}{{{}}} {}\n", name_, suffix, all, value);
  }

 private:
  std::string& out_;
  const char* name_;
};

// interval and resolution in μs ("default" where none was requested), and
// the condition: priority, load threads, CPU ("any" where not kept to one).
std::string block_labels(const ReportFacts& facts, const ConditionBlock& block) {
  return fmt::format("interval=\"{}\",resolution=\"{}\",priority=\"{}\",load=\"{}\",cpu=\"{}\"", facts.interval_us,
                     block.requested_us ? std::to_string(*block.requested_us) : "default",
                     measure::priority_name(block.priority), block.load,
                     block.cpu ? std::to_string(*block.cpu) : "any");
}

std::string method_labels(const ReportFacts& facts, const ConditionBlock& block, const MethodReport& method) {
  return fmt::format("method=\"{}\",{}", method.name, block_labels(facts, block));
}

// Calls `fn(labels, method)` for every method measured.
template <typename Fn>
void each_method(const ReportFacts& facts, Fn fn) {
  for (const ConditionBlock& block : facts.blocks) {
    for (const MethodReport& method : block.methods) {
      fn(method_labels(facts, block, method), method);
    }
  }
}

// The baseline's figures beside the new ones, labelled alike, so that a
// query can set one against the other.
void write_baseline(const ReportFacts& facts, const Comparison& comparison, std::string& out) {
  const auto labels = [&](const ComparedEntry& entry) {
    const ConditionBlock& block = facts.blocks[entry.block];
    return method_labels(facts, block, block.methods[entry.method]);
  };
  {
    // A gauge, not a summary, so not a quantile label: the figure is named
    // by its JSON key.
    Family wait(
        out, "quorvane_baseline_wait_seconds", "gauge", "seconds",
        "The --compare baseline's p50, p99, p99.9 and longest wait, for the entries it shares with this report.");
    for (const ComparedEntry& entry : comparison.compared) {
      for (const ComparedFigure& figure : entry.figures) {
        if (figure.before) {
          wait.sample(labels(entry), seconds(static_cast<double>(*figure.before)), "",
                      fmt::format(",statistic=\"{}\"", figure.key));
        }
      }
    }
  }
  Family compared(out, "quorvane_baseline_compared", "gauge", "",
                  "1 when some entry's p99 was compared with the baseline's, 0 when nothing was.");
  compared.sample("", comparison.p99_compared ? 1.0 : 0.0);
}

// Which method --within names: 1 for it, 0 for the others of its block.
void write_choices(const ReportFacts& facts, const std::vector<std::optional<std::size_t>>& choices, std::string& out) {
  {
    Family tolerance(out, "quorvane_within_tolerance_seconds", "gauge", "seconds",
                     "How far above the interval --within lets a p99 be.");
    tolerance.sample("", seconds(static_cast<double>(*facts.within_us)));
  }
  Family cheapest(out, "quorvane_within_cheapest", "gauge", "",
                  "1 for the method that costs the least CPU among those whose p99 is within the tolerance.");
  for (std::size_t b = 0; b < facts.blocks.size(); ++b) {
    const ConditionBlock& block = facts.blocks[b];
    for (std::size_t m = 0; m < block.methods.size(); ++m) {
      cheapest.sample(method_labels(facts, block, block.methods[m]), choices[b] == m ? 1.0 : 0.0);
    }
  }
}

}  // namespace

std::string openmetrics_report(const ReportFacts& facts, const Findings& findings) {
  std::string out;
  {
    Family wait(out, "quorvane_wait_duration_seconds", "summary", "seconds",
                "How long a wait asked to last the interval lasted, by nearest-rank quantile.");
    each_method(facts, [&](const std::string& labels, const MethodReport& m) {
      const analysis::LatencySummary& s = m.summary;
      if (s.count > 0) {
        for (const auto& [quantile, us] :
             {std::pair{"0.5", s.p50}, {"0.9", s.p90}, {"0.99", s.p99}, {"0.999", s.p999}}) {
          wait.sample(labels, seconds(static_cast<double>(us)), "", fmt::format(",quantile=\"{}\"", quantile));
        }
      }
      wait.sample(labels, seconds(s.mean * static_cast<double>(s.count)), "_sum");
      wait.sample(labels, static_cast<double>(s.count), "_count");
    });
  }
  {
    Family max(out, "quorvane_wait_max_seconds", "gauge", "seconds", "The longest wait.");
    each_method(facts, [&](const std::string& labels, const MethodReport& m) {
      if (m.summary.count > 0) {
        max.sample(labels, seconds(static_cast<double>(m.summary.max)));
      }
    });
  }
  {
    Family early(out, "quorvane_early_waits", "gauge", "", "Waits that ended before their interval had passed.");
    each_method(facts, [&](const std::string& labels, const MethodReport& m) {
      early.sample(labels, static_cast<double>(m.summary.early));
    });
  }
  {
    Family cpu(out, "quorvane_wait_cpu_ratio", "gauge", "ratio",
               "The share of the waits' time the measuring thread spent on a CPU.");
    each_method(facts, [&](const std::string& labels, const MethodReport& m) {
      if (m.cpu_percent) {
        cpu.sample(labels, *m.cpu_percent / 100.0);
      }
    });
  }
  {
    Family fallbacks(out, "quorvane_wait_fallbacks", "gauge", "",
                     "Waits the method could not make its own way and made by its fallback.");
    each_method(facts, [&](const std::string& labels, const MethodReport& m) {
      fallbacks.sample(labels, static_cast<double>(m.fallbacks));
    });
  }
  {
    Family migrations(out, "quorvane_wait_migrations", "gauge", "",
                      "Waits that did not begin and end on the same CPU, or on the one the thread was kept to.");
    each_method(facts, [&](const std::string& labels, const MethodReport& m) {
      if (m.migrations) {
        migrations.sample(labels, static_cast<double>(*m.migrations));
      }
    });
  }
  {
    Family load(out, "quorvane_load_cpu_ratio", "gauge", "ratio",
                "The share of their time the load threads were on a CPU, where there were any.");
    for (const ConditionBlock& block : facts.blocks) {
      if (block.load_cpu_percent) {
        load.sample(block_labels(facts, block), *block.load_cpu_percent / 100.0);
      }
    }
  }
  {
    Family granted(out, "quorvane_timer_resolution_granted_seconds", "gauge", "seconds",
                   "The timer resolution in effect once measuring began, where one was requested.");
    for (const ConditionBlock& block : facts.blocks) {
      if (block.granted_us) {
        granted.sample(block_labels(facts, block), seconds(*block.granted_us));
      }
    }
  }
  {
    Family interrupted(out, "quorvane_report_interrupted", "gauge", "",
                       "1 when a signal stopped the measuring before every method had its samples.");
    interrupted.sample("", facts.interrupted ? 1.0 : 0.0);
  }
  {
    Family partial(out, "quorvane_report_partial", "gauge", "",
                   "1 while the run goes on: the figures so far, rewritten after every window.");
    partial.sample("", facts.partial ? 1.0 : 0.0);
  }
  if (facts.duration) {
    Family window(out, "quorvane_window_wait_seconds", "gauge", "seconds",
                  "The latest window's median, 99th percentile (nearest rank) and longest wait.");
    each_method(facts, [&](const std::string& labels, const MethodReport& m) {
      if (!m.timeline.empty() && m.timeline.back().count > 0) {
        const WindowFigures& latest = m.timeline.back();
        for (const auto& [statistic, us] : {std::pair{"p50", latest.p50}, {"p99", latest.p99}, {"max", latest.max}}) {
          window.sample(labels, seconds(static_cast<double>(us)), "", fmt::format(",statistic=\"{}\"", statistic));
        }
      }
    });
  }
  if (facts.spikes) {
    Family spikes(out, "quorvane_spikes", "gauge", "", "Waits longer than the interval by more than --spike.");
    each_method(facts, [&](const std::string& labels, const MethodReport& m) {
      spikes.sample(labels, static_cast<double>(m.spikes));
    });
  }
  if (findings.comparison) {
    write_baseline(facts, *findings.comparison, out);
  }
  if (findings.choices) {
    write_choices(facts, *findings.choices, out);
  }
  out += "# EOF\n";
  return out;
}

}  // namespace report
