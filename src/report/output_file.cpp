#include "report/output_file.hpp"

#include <cerrno>
#include <cstring>
#include <ostream>
#include <sstream>

#include <fmt/format.h>

#include "report/html_output.hpp"
#include "report/json_report.hpp"
#include "report/openmetrics_report.hpp"
#include "report/text.hpp"
#include "report/text_report.hpp"

namespace report {

std::string render(Format format, const ReportFacts& facts, const Findings& findings) {
  switch (format) {
    case Format::Json:
      return json_report(facts, findings);
    case Format::OpenMetrics:
      return openmetrics_report(facts, findings);
    case Format::Html:
      return run_page(json_report(facts, findings));
    case Format::Text:
      break;
  }
  std::ostringstream text;
  write_text_report(facts, findings, text);
  return std::move(text).str();
}

bool write_report(Format format, const ReportFacts& facts, const Findings& findings,
                  const std::optional<std::string>& file, measure::Files& files, std::ostream& out, std::ostream& err) {
  const std::string text = render(format, facts, findings);
  if (file) {
    const auto why = files.write_whole(*file, text);
    if (why) {
      err << fmt::format("quorvane: the report could not be written to {}: {}", printable(*file), printable(*why))
          << std::endl;
    }
    return !why;
  }
  errno = 0;
  out << text;
  out.flush();
  if (out) {
    return true;
  }
  const int error = errno;
  err << "quorvane: the report could not be written to standard output"
      << (error != 0 ? std::string(": ") + std::strerror(error) : "") << std::endl;
  return false;
}

PartialReport rewrite_after_each_window(Format format, const std::string& file, measure::Files& files,
                                        std::ostream& err, Rewrites& rewrites) {
  return [format, &file, &files, &err, &rewrites](const ReportFacts& so_far) {
    const auto why = files.write_whole(file, render(format, so_far, conclude(so_far)));
    if (why) {
      err << fmt::format("quorvane: {} could not be rewritten: {}; it is left as it was, and measuring stopped",
                         printable(file), printable(*why))
          << std::endl;
      rewrites.failed = true;
    }
    rewrites.made = rewrites.made || !why;
    return !why;
  };
}

}  // namespace report
