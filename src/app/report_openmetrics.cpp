// The report as OpenMetrics text: what a node exporter's textfile collector
// reads, so that a fleet's monitoring sees how every machine waits.
#include <fmt/format.h>

#include "app/report_output.hpp"

namespace app {
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

// interval and resolution in μs; "default" where none was requested.
std::string block_labels(const ReportFacts& facts, const ResolutionBlock& block) {
  return fmt::format("interval=\"{}\",resolution=\"{}\"", facts.interval_us,
                     block.requested_us ? std::to_string(*block.requested_us) : "default");
}

std::string method_labels(const ReportFacts& facts, const ResolutionBlock& block, const MethodReport& method) {
  return fmt::format("method=\"{}\",{}", method.name, block_labels(facts, block));
}

// Calls `fn(labels, method)` for every method measured.
template <typename Fn>
void each_method(const ReportFacts& facts, Fn fn) {
  for (const ResolutionBlock& block : facts.blocks) {
    for (const MethodReport& method : block.methods) {
      fn(method_labels(facts, block, method), method);
    }
  }
}

}  // namespace

std::string openmetrics_report(const ReportFacts& facts) {
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
    Family granted(out, "quorvane_timer_resolution_granted_seconds", "gauge", "seconds",
                   "The timer resolution in effect once measuring began, where one was requested.");
    for (const ResolutionBlock& block : facts.blocks) {
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
  out += "# EOF\n";
  return out;
}

}  // namespace app
