#include "app/entry.hpp"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>
#include <ostream>
#include <string>

#include <spdlog/spdlog.h>
#include <CLI/CLI.hpp>

#include "report/conditions.hpp"
#include "report/report.hpp"
#include "tui/interface_logger.hpp"

namespace app {
namespace {

// Writes `text` and a line end to `out`: 0 when it all went out; otherwise a
// one-line error on `err` and 1, as other command-line tools answer a failed
// write (`quorvane --version >/dev/full`).
int write_out(std::ostream& out, std::ostream& err, const std::string& text) {
  errno = 0;
  out << text << std::endl;
  if (out) {
    return 0;
  }
  const int error = errno;
  err << "quorvane: cannot write to standard output" << (error != 0 ? std::string(": ") + std::strerror(error) : "")
      << std::endl;
  return 1;
}

}  // namespace

int run_entry(int argc, char** argv, std::ostream& out, std::ostream& err, const measure::Platform& platform,
              const std::function<void(const tui::ScreenChoices&)>& run_interface) {
  CLI::App application{"Quorvane CLI"};
  const std::string version = QUORVANE_VERSION;
  bool show_version = false;
  bool verbose = false;
  application.add_flag("--version", show_version, "Show version and exit");
  application.add_flag("-v,--verbose", verbose, "Enable verbose output");
  report::ReportOptions report_options;
  report::add_report_options(application, report_options);
  application.allow_extras();
  // The report's errors are one line each; the interface's, the help text.
  application.failure_message([](const CLI::App* app, const CLI::Error& e) {
    return report::is_report_error(*app, e) ? std::string("quorvane: ") + e.what() + "\n" : app->help() + "\n";
  });

  if (const auto line = report::flag_given_a_value(argc, argv)) {
    err << *line << std::endl;
    return 2;
  }
  try {
    application.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    return write_out(out, err, application.help());
  } catch (const CLI::ParseError& e) {
    const int code = application.exit(e, out, err);
    return report::is_report_error(application, e) ? 2 : code;
  }

  if (show_version) {
    return write_out(out, err, "Quorvane CLI Version " + version);
  }

  if (const auto status = report::run_report_command(report_options, application.remaining(), out, err, platform)) {
    return *status;
  }

  // The choices the screen shares with the report: one condition, on a
  // CPU that is there and the process's, checked before anything starts.
  if (const auto line = report::screen_refuses(report_options)) {
    err << *line << std::endl;
    return 2;
  }
  const auto cpus = report::chosen_cpus(report_options, platform.placement);
  if (const auto* line = std::get_if<std::string>(&cpus)) {
    err << *line << std::endl;
    return 2;
  }
  tui::ScreenChoices choices;
  choices.methods = report_options.modes;
  choices.interval = std::chrono::microseconds{report_options.interval_us};
  choices.condition = report::conditions_of(report_options, std::get<std::vector<std::uint32_t>>(cpus)).front();

  // Replace a "main" logger left over from an earlier call in the same process.
  spdlog::drop("main");
  auto logger = tui::console_logger("main", platform.console.output_is_terminal());
  logger->set_pattern("[%^%l%$] %v");
  logger->set_level(verbose ? spdlog::level::debug : spdlog::level::err);

  int status = 0;
  try {
    logger->info("🚀 Starting Real-Time Timer Analysis TUI");
    run_interface(choices);
  } catch (const std::exception& e) {
    logger->error("❌ TUI Error: {}", e.what());
    // Standard output went to a file, or nowhere: say it where the user looks.
    if (!platform.console.output_is_terminal()) {
      err << "quorvane: " << e.what() << std::endl;
    }
    status = 1;
  }
  logger->flush();
  spdlog::drop("main");
  return status;
}

}  // namespace app
