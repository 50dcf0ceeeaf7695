// jobwick ticket show: a job ticket explained entry by entry.
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

#include "host/commands.h"
#include "host/settings_io.h"
#include "host/ticket_inspect.h"
#include "platform/encoding.h"

namespace jobwick::host {

platform::CFStringEncoding systemEncodingFor(const ParsedArgs& args) {
  if (auto language = args.value("--language"); language && !language->empty()) {
    return platform::systemEncodingForLanguage(*language);
  }
  return platform::CFStringGetSystemEncoding();
}

int runTicketShow(const Invocation& invocation) {
  const std::string source = invocation.args.positionals.front();
  if (auto language = invocation.args.value("--language"); language && language->empty()) {
    invocation.err << "jobwick: ticket show: option --language needs a language\n"
                   << "Run 'jobwick ticket show --help' for usage.\n";
    return kExitUsage;
  }
  platform::PrintSettings settings;
  std::string error;
  if (source == "-") {
    std::ostringstream buffer;
    buffer << std::cin.rdbuf();
    if (!parseSettingsText(buffer.str(), &settings, &error)) {
      invocation.err << "jobwick: ticket show: standard input: " << error << "\n";
      return kExitFailure;
    }
  } else if (!readSettingsFile(source, &settings, &error)) {
    invocation.err << "jobwick: ticket show: " << error << "\n";
    return kExitFailure;
  }

  const TicketReport report = inspectTicket(settings, systemEncodingFor(invocation.args));
  if (invocation.args.has("--json")) {
    invocation.out << ticketReportJson(report).dump(
                          2, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
                   << "\n";
  } else {
    invocation.out << formatTicketReport(report);
  }
  return report.problems().empty() ? kExitSuccess : kExitProblems;
}

}  // namespace jobwick::host
