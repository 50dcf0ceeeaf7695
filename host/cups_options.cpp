// Job tickets read back from CUPS.
#include "host/cups_options.h"

#include <memory>
#include <regex>
#include <sstream>

#include <cups/cups.h>

#include "host/cups_queue.h"

namespace jobwick::host {
namespace {

struct IppDeleter {
  void operator()(ipp_t* ipp) const noexcept { ippDelete(ipp); }
};

const std::regex& ipptoolLine() {
  static const std::regex line(R"(^\s+([A-Za-z][A-Za-z0-9._-]*) \(([^)]*)\) = (.*)$)");
  return line;
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
    if (std::regex_match(line, ipptoolLine())) return true;
  }
  return false;
}

bool parseIpptoolOutput(std::string_view text, platform::PrintSettings* settings,
                        std::string* error) {
  std::istringstream lines{std::string(text)};
  std::string line;
  bool found = false;
  std::smatch match;
  while (std::getline(lines, line)) {
    if (!std::regex_match(line, match, ipptoolLine())) continue;
    found = true;
    const std::string name = match[1];
    if (isTicketKey(name)) settings->setValue(name, match[3].str());
    if (name == "job-name") settings->setJobName(match[3].str());
  }
  if (!found && error) *error = "no \"NAME (TYPE) = VALUE\" lines in the ipptool output";
  return found;
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
  std::unique_ptr<ipp_t, IppDeleter> response(cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/jobs"));
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
