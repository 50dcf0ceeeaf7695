// SPDX-License-Identifier: Apache-2.0
// Job tickets read back from CUPS.
#include "host/cups/cups_options.h"

#include <memory>
#include <optional>
#include <sstream>

#include <cups/cups.h>

#include "host/common/settings_io.h"
#include "host/cups/cups_queue.h"
#include "platform/c_handles.h"

namespace jobwick::host {
namespace {

using platform::IppMessage;

/// One "    NAME (TYPE) = VALUE" line of ipptool's listing.
struct IpptoolLine {
  std::string_view name;
  std::string_view value;
};

bool isRegexSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

/// Matches `line` against ^\s+NAME \(TYPE\) = VALUE$ (NAME a letter, then
/// letters, digits and "._-"; TYPE without ")"; VALUE without a line end),
/// the form the listing has always been read in. Written out by hand: the
/// regular-expression engine recursed once per character and overflowed
/// the stack on a long value.
std::optional<IpptoolLine> matchIpptoolLine(std::string_view line) {
  std::size_t at = 0;
  while (at < line.size() && isRegexSpace(line[at])) ++at;
  if (at == 0 || at == line.size() || !isAsciiLetter(line[at])) return std::nullopt;
  const std::size_t nameStart = at;
  while (at < line.size() && (isAsciiLetter(line[at]) || (line[at] >= '0' && line[at] <= '9') ||
                              line[at] == '.' || line[at] == '_' || line[at] == '-')) {
    ++at;
  }
  const std::string_view name = line.substr(nameStart, at - nameStart);
  if (line.substr(at, 2) != " (") return std::nullopt;
  const std::size_t close = line.find(')', at + 2);
  if (close == std::string_view::npos || line.substr(close, 4) != ") = ") return std::nullopt;
  const std::string_view value = line.substr(close + 4);
  if (value.find_first_of("\r\n") != std::string_view::npos) return std::nullopt;
  return IpptoolLine{name, value};
}

}  // namespace

bool isTicketKey(std::string_view key) {
  return key.rfind("jp.co.quivo.print.", 0) == 0;
}

bool parseLpoptionsOutput(std::string_view text, platform::PrintSettings* settings,
                          std::string* error) {
  cups_option_t* options = nullptr;
  const std::string line(text);
  const int count = cupsParseOptions(line.c_str(), 0, &options);
  for (int i = 0; i < count; ++i) {
    if (isTicketKey(options[i].name)) settings->setValue(options[i].name, options[i].value);
  }
  cupsFreeOptions(count, options);
  if (count == 0 && error) *error = "no options in the lpoptions output";
  return count > 0;
}

bool looksLikeIpptoolOutput(std::string_view text) {
  std::istringstream lines{std::string(text)};
  std::string line;
  while (std::getline(lines, line)) {
    if (matchIpptoolLine(line)) return true;
  }
  return false;
}

bool parseIpptoolOutput(std::string_view text, platform::PrintSettings* settings,
                        std::string* error) {
  std::istringstream lines{std::string(text)};
  std::string line;
  bool found = false;
  while (std::getline(lines, line)) {
    const auto match = matchIpptoolLine(line);
    if (!match) continue;
    found = true;
    if (isTicketKey(match->name)) settings->setValue(match->name, std::string(match->value));
    if (match->name == "job-name") settings->setJobName(std::string(match->value));
  }
  if (!found && error) *error = "no \"NAME (TYPE) = VALUE\" lines in the ipptool output";
  return found;
}

bool parseTicketText(std::string_view text, std::string_view format,
                     platform::PrintSettings* settings, std::string* error) {
  if (format == "lpoptions") return parseLpoptionsOutput(text, settings, error);
  if (format == "ipptool" || (format == "auto" && looksLikeIpptoolOutput(text))) {
    return parseIpptoolOutput(text, settings, error);
  }
  return parseSettingsText(text, settings, error);
}

bool readJobTicket(const std::string& queueAndId, platform::PrintSettings* settings,
                   std::string* error) {
  const auto dash = queueAndId.rfind('-');
  char* end = nullptr;
  const long id =
      dash == std::string::npos ? 0 : std::strtol(queueAndId.c_str() + dash + 1, &end, 10);
  if (id <= 0 || *end != '\0' || dash == 0) {
    *error = "job " + queueAndId + ": not of the form QUEUE-ID (Office_MFP-17)";
    return false;
  }
  char uri[1024];
  httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(),
                   "/jobs/%ld", id);
  ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               cupsUser());
  IppMessage response(cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/jobs"));
  if (!response || cupsLastError() > IPP_STATUS_OK_CONFLICTING) {
    *error = "job " + queueAndId +
             (schedulerUnreachable() ? ": cannot reach the CUPS scheduler at " + schedulerName()
                                     : ": the CUPS scheduler at " + schedulerName() + " says") +
             ": " + lastSchedulerReason();
    return false;
  }
  ipp_t* job = response.get();
  ipp_attribute_t* printer = ippFindAttribute(job, "job-printer-uri", IPP_TAG_URI);
  const std::string printerURI = printer ? ippGetString(printer, 0, nullptr) : "";
  const std::string queue = queueAndId.substr(0, dash);
  if (printerURI.size() < queue.size() + 1 ||
      printerURI.compare(printerURI.size() - queue.size() - 1, std::string::npos, "/" + queue) !=
          0) {
    *error =
        "job " + queueAndId + ": job " + std::to_string(id) + " is not a job of queue " + queue;
    return false;
  }
  for (ipp_attribute_t* a = ippFirstAttribute(job); a; a = ippNextAttribute(job)) {
    const char* name = ippGetName(a);
    if (!name) continue;
    if (isTicketKey(name) || std::string_view(name) == "job-name") {
      const char* text = ippGetString(a, 0, nullptr);
      std::string value = text ? text : "";
      if (!text) {
        char buffer[1024];
        ippAttributeString(a, buffer, sizeof buffer);
        value = buffer;
      }
      if (std::string_view(name) == "job-name") {
        settings->setJobName(value);
      } else {
        settings->setValue(name, value);
      }
    }
  }
  return true;
}

}  // namespace jobwick::host
