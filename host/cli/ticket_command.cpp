// SPDX-License-Identifier: Apache-2.0
// jobwick ticket show: a job ticket explained entry by entry.
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

#include "host/cli/commands.h"
#include "host/common/bounded_read.h"
#include "host/common/settings_io.h"
#include "host/common/translate.h"
#include "host/cups/cups_options.h"
#include "host/engine/plugin_loader.h"
#include "host/engine/print_dialog.h"
#include "host/inspect/ticket_inspect.h"
#include "platform/encoding.h"

namespace jobwick::host {

platform::CFStringEncoding systemEncodingFor(const ParsedArgs& args) {
  if (auto language = args.value("--language"); language && !language->empty()) {
    return platform::systemEncodingForLanguage(*language);
  }
  return platform::CFStringGetSystemEncoding();
}

void warnOnUnknownLanguage(const ParsedArgs& args, std::ostream& err) {
  const auto language = args.value("--language");
  if (!language || language->empty()) return;
  std::error_code ec;
  std::string detail;
  bool anyBundle = false;
  for (const auto& entry : std::filesystem::directory_iterator(defaultBundleDir(), ec)) {
    if (entry.path().extension() != ".plugin") continue;
    std::string missing;
    if (bundleHasLanguage(entry.path(), *language, &missing)) return;
    if (!anyBundle) detail = missing;
    anyBundle = true;
  }
  if (anyBundle) {
    err << "jobwick: warning: " << detail
        << "; texts are decoded in the system encoding it picks\n";
  }
}

namespace {

/// Reads SETTINGS (a file, or standard input for "-") in the format
/// --format names, or the one its text shows. `badFormat` tells a --format
/// the command does not know (a usage error) from input that cannot be read.
bool readTicketSource(const Invocation& invocation, platform::PrintSettings* settings,
                      std::string* error, bool* badFormat) {
  const std::string source = invocation.args.positionals.front();
  const std::string format = invocation.args.value("--format").value_or("auto");
  if (format != "auto" && format != "json" && format != "lines" && format != "lpoptions" &&
      format != "ipptool") {
    *badFormat = true;
    *error = trf("option --format needs json, lines, lpoptions or ipptool, got \"%1\"", {format});
    return false;
  }
  std::string text;
  if (source == "-") {
    if (!readBounded(std::cin, kMaxSettingsBytes, &text, error)) {
      *error = trf("standard input: %1", {*error});
      return false;
    }
  } else if (format == "json" || format == "lines") {
    return readSettingsFile(source, settings, error);
  } else if (!readBoundedFile(source, format == "auto" ? N_("settings file") : N_("ticket file"),
                              kMaxSettingsBytes, &text, error)) {
    return false;
  }
  // A file is told apart by its text as standard input is: ipptool's
  // listing, else a settings file.
  const bool read = parseTicketText(text, format, settings, error);
  if (!read) *error = source == "-" ? trf("standard input: %1", {*error}) : source + ": " + *error;
  return read;
}

}  // namespace

int runTicketShow(const Invocation& invocation) {
  if (auto language = invocation.args.value("--language"); language && language->empty()) {
    return invocation.fail(ExitStatus::usage, tr("option --language needs a language"));
  }
  warnOnUnknownLanguage(invocation.args, invocation.err);
  platform::PrintSettings settings;
  std::string error;
  if (auto job = invocation.args.value("--job")) {
    if (!readJobTicket(*job, &settings, &error)) {
      return invocation.fail(ExitStatus::failure, error);
    }
  } else if (bool formatProblem = false;
             !readTicketSource(invocation, &settings, &error, &formatProblem)) {
    return invocation.fail(formatProblem ? ExitStatus::usage : ExitStatus::badInput, error);
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
