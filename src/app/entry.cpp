#include "app/entry.hpp"

#include <exception>
#include <ostream>
#include <string>

#include <spdlog/sinks/stdout_color_sinks.h>
#include <spdlog/spdlog.h>
#include <CLI/CLI.hpp>

#include "app/report.hpp"

namespace app {

int run_entry(int argc, char** argv, std::ostream& out, std::ostream& err, const std::function<void()>& run_interface,
              const ReportSystem* report_system) {
  CLI::App application{"Quorvane CLI"};
  const std::string version = QUORVANE_VERSION;
  bool show_version = false;
  bool verbose = false;
  application.add_flag("--version", show_version, "Show version and exit");
  application.add_flag("-v,--verbose", verbose, "Enable verbose output");
  ReportOptions report;
  add_report_options(application, report);
  application.allow_extras();

  try {
    application.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    out << application.help() << std::endl;
    return 0;
  } catch (const CLI::ParseError& e) {
    if (const auto line = report_flag_error(e.what())) {
      err << *line << std::endl;
      return 2;
    }
    err << application.help() << std::endl;
    return e.get_exit_code();
  }

  if (show_version) {
    out << "Quorvane CLI Version " << version << std::endl;
    return 0;
  }

  if (const auto status = run_report_command(report, application.remaining(), out, err,
                                             report_system != nullptr ? *report_system : real_report_system())) {
    return *status;
  }

  // Replace a "main" logger left over from an earlier call in the same process.
  spdlog::drop("main");
  auto logger = spdlog::stdout_color_mt("main", spdlog::color_mode::automatic);
  logger->set_pattern("[%^%l%$] %v");
  logger->set_level(verbose ? spdlog::level::debug : spdlog::level::err);

  int status = 0;
  try {
    logger->info("🚀 Starting Real-Time Timer Analysis TUI");
    run_interface();
  } catch (const std::exception& e) {
    logger->error("❌ TUI Error: {}", e.what());
    status = 1;
  }
  logger->flush();
  spdlog::drop("main");
  return status;
}

}  // namespace app
