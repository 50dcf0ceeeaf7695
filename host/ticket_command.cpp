// jobwick ticket show: a job ticket explained entry by entry.
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

#include "host/bounded_read.h"
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
    return invocation.fail(ExitStatus::usage, "option --language needs a language");
  }
  platform::PrintSettings settings;
  std::string error;
  if (source == "-") {
    std::string text;
    if (!readBounded(std::cin, kMaxSettingsBytes, &text, &error) ||
        !parseSettingsText(text, &settings, &error)) {
      return invocation.fail(ExitStatus::badInput, "standard input: " + error);
    }
  } else if (!readSettingsFile(source, &settings, &error)) {
    return invocation.fail(ExitStatus::badInput, error);
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
