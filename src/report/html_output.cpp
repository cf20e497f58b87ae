#include "report/html_output.hpp"

#include <filesystem>
#include <ostream>
#include <variant>

#include <fmt/format.h>

#include "measure/files.hpp"
#include "report/html_page.hpp"
#include "report/plot_reader.hpp"
#include "report/text.hpp"

namespace report {
namespace {

bool write_page(const std::vector<PlotReport>& reports, const std::string& file, std::ostream& err) {
  if (const auto failure = measure::write_whole(file, html_page(reports))) {
    err << fmt::format("quorvane: the page could not be written to {}: {}", printable(file), *failure) << std::endl;
    return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> unwritable(std::string_view option, const std::string& file,
                                      const std::vector<std::string>& read) {
  for (const std::string& report : read) {
    std::error_code unknown;
    if (report == file || std::filesystem::equivalent(report, file, unknown)) {
      return fmt::format("quorvane: {} {}: is {}, which the page would replace", option, printable(file),
                         read.size() > 1 ? "a report it reads" : "the report it reads");
    }
  }
  if (const auto why = measure::check_writable(file)) {
    return fmt::format("quorvane: {} {}: {}", option, printable(file), *why);
  }
  return std::nullopt;
}

bool write_run_page(const std::string& json, const std::string& file, std::ostream& err) {
  auto read = parse_plot(json);
  if (const auto* fault = std::get_if<std::string>(&read)) {
    // The report's own JSON: a fault here is the program's.
    err << "quorvane: the page could not be drawn: the report " << *fault << std::endl;
    return false;
  }
  return write_page({std::get<PlotReport>(std::move(read))}, file, err);
}

int plot_reports(const std::vector<std::string>& files, const std::string& page, std::ostream& err) {
  for (std::size_t i = 0; i < files.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (files[i] == files[j]) {
        err << fmt::format("quorvane: --plot: names each file once; \"{}\" came twice", printable(files[i]))
            << std::endl;
        return 2;
      }
    }
  }
  if (const auto line = unwritable("-o", page, files)) {
    err << *line << std::endl;
    return 2;
  }
  std::vector<PlotReport> reports;
  for (const std::string& file : files) {
    auto read = read_plot(file);
    if (const auto* line = std::get_if<std::string>(&read)) {
      err << "quorvane: " << *line << std::endl;
      return 2;
    }
    reports.push_back(std::get<PlotReport>(std::move(read)));
  }
  return write_page(reports, page, err) ? 0 : 1;
}

}  // namespace report
