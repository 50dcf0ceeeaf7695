// SPDX-License-Identifier: Apache-2.0
// Exit statuses and error reports.
#include "host/common/exit_status.h"

#include <nlohmann/json.hpp>
#include <set>
#include <utility>

#include "host/common/escape.h"
#include "host/common/translate.h"
#include "platform/user_defaults.h"

#include "host/common/escape.h"

namespace jobwick::host {

std::string_view exitStatusName(int status) {
  switch (status) {
    case kExitSuccess:
      return "success";
    case kExitFailure:
      return "failure";
    case kExitUsage:
      return "usage";
    case kExitProblems:
      return "problems";
    case kExitBadInput:
      return "bad-input";
    default:
      return "unknown";
  }
}

std::string exitStatusTable() {
  return tr(
      "  0  done\n"
      "  1  the work failed: a bundle cannot be used, the scheduler or a printer cannot\n"
      "     be reached, refused or gave no answer, a session expectation failed, no such\n"
      "     record, a queue other users can read would get a ticket's secrets\n"
      "  2  the command line is wrong (nothing was read, written or sent)\n"
      "  3  the input was read and shown, and problems were found in it; the panel\n"
      "     refused to print\n"
      "  4  an input file (session script, settings file, job ticket, PPD, document)\n"
      "     cannot be read, is too large or is not in its format, or a script cannot\n"
      "     run as written\n");
}

int reportError(const ErrorSink& sink, ExitStatus status, std::string_view message) {
  const int code = int(status);
  const std::string command(sink.command);
  // Every line of the message carries the prefix, so that each reads alone;
  // what a line holds from outside (a PPD's texts, the scheduler's words)
  // cannot drive the terminal. Escaping is idempotent, so text escaped
  // where it was put in the message stays as it is.
  const std::string prefix = "jobwick: " + (command.empty() ? "" : command + ": ");
  for (std::size_t start = 0;;) {
    const std::size_t end = message.find('\n', start);
    sink.err << prefix << escapeText(message.substr(start, end - start)) << "\n";
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  if (status == ExitStatus::usage) {
    sink.err << trf("Run '%1' for usage.",
                    {"jobwick " + (command.empty() ? "--help" : command + " --help")})
             << "\n";
  }
  if (sink.json) {
    nlohmann::ordered_json error = {{"status", code},
                                    {"kind", exitStatusName(code)},
                                    {"command", command},
                                    {"message", message}};
    sink.out << nlohmann::ordered_json{{"error", error}}.dump(
                    2, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
             << "\n";
  }
  return code;
}

std::size_t warnFailedPreferenceWrites(std::ostream& err) {
  std::set<std::pair<std::string, std::string>> reported;
  for (const auto& failed : platform::UserDefaults::takeFailedWrites()) {
    if (!reported.insert({failed.domain, failed.reason}).second) continue;
    err << "jobwick: warning: the panel's preferences were not saved (" << quoteText(failed.domain)
        << ": " << escapeText(failed.reason) << "); it keeps what it remembered before\n";
  }
  return reported.size();
}

}  // namespace jobwick::host
