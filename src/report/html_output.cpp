#include "report/html_output.hpp"

#include <filesystem>
#include <ostream>
#include <stdexcept>
#include <variant>

#include <fmt/format.h>

#include "report/html_page.hpp"
#include "report/plot_reader.hpp"
#include "report/text.hpp"

namespace report {
namespace {

bool write_page(const std::string& page, const std::string& file, measure::Files& files, std::ostream& err) {
  if (const auto failure = files.write_whole(file, page)) {
    err << fmt::format("quorvane: the page could not be written to {}: {}", printable(file), *failure) << std::endl;
    return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> unwritable(std::string_view option, const std::string& file, const std::vector<Kept>& kept,
                                      measure::Files& files) {
  for (const auto& [report, what] : kept) {
    std::error_code unknown;
    if (report == file || std::filesystem::equivalent(report, file, unknown)) {
      return fmt::format("quorvane: {} {}: is {}, which the page would replace", option, printable(file), what);
    }
  }
  if (const auto why = files.check_writable(file)) {
    return fmt::format("quorvane: {} {}: {}", option, printable(file), *why);
  }
  return std::nullopt;
}

std::string run_page(const std::string& json) {
  auto read = parse_plot(json);
  if (const auto* fault = std::get_if<std::string>(&read)) {
    throw std::logic_error("the page could not be drawn: the report " + *fault);
  }
  return html_page({std::get<PlotReport>(std::move(read))});
}

bool write_run_page(const std::string& json, const std::string& file, measure::Files& files, std::ostream& err) {
  return write_page(run_page(json), file, files, err);
}

int plot_reports(const std::vector<std::string>& saved, const std::string& page, measure::Files& files,
                 std::ostream& err) {
  for (std::size_t i = 0; i < saved.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (saved[i] == saved[j]) {
        err << fmt::format("quorvane: --plot: names each file once; \"{}\" came twice", printable(saved[i]))
            << std::endl;
        return 2;
      }
    }
  }
  std::vector<Kept> kept;
  for (const std::string& file : saved) {
    kept.push_back({file, saved.size() > 1 ? "a report it reads" : "the report it reads"});
  }
  if (const auto line = unwritable("-o", page, kept, files)) {
    err << *line << std::endl;
    return 2;
  }
  std::vector<PlotReport> reports;
  for (const std::string& file : saved) {
    auto read = read_plot(file);
    if (const auto* line = std::get_if<std::string>(&read)) {
      err << "quorvane: " << *line << std::endl;
      return 2;
    }
    reports.push_back(std::get<PlotReport>(std::move(read)));
  }
  return write_page(html_page(reports), page, files, err) ? 0 : 1;
}

}  // namespace report
