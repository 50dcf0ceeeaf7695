// SPDX-License-Identifier: Apache-2.0
// Held jobs: Get-Jobs, Set-Job-Attributes and Cancel-Job through libcups.
#include "host/cups/held_jobs.h"

#include <algorithm>

#include <cups/cups.h>

#include "host/common/escape.h"
#include "host/cups/cups_options.h"
#include "host/cups/cups_queue.h"
#include "host/cups/submit.h"
#include "platform/c_handles.h"
#include "platform/strings.h"

namespace jobwick::host {
namespace {

using platform::IppMessage;

const char* const kJobAttributes[] = {"all"};

std::string jobTextOf(ipp_attribute_t* attribute) {
  const char* text = attribute ? ippGetString(attribute, 0, nullptr) : nullptr;
  return text ? text : "";
}

/// A job option's value as the filter gets it: text as it stands, numbers
/// (lp sends "-o KEY=123" as an integer) in decimal, and nothing for a
/// deleted one.
std::string optionTextOf(ipp_attribute_t* attribute) {
  switch (ippGetValueTag(attribute)) {
    case IPP_TAG_INTEGER:
    case IPP_TAG_ENUM:
      return std::to_string(ippGetInteger(attribute, 0));
    case IPP_TAG_BOOLEAN:
      return ippGetBoolean(attribute, 0) ? "true" : "false";
    default:
      return jobTextOf(attribute);
  }
}

/// The jobs of a Get-Jobs or Get-Job-Attributes answer.
std::vector<HeldJob> jobsOf(ipp_t* response) {
  std::vector<HeldJob> jobs;
  HeldJob job;
  auto flush = [&] {
    if (job.id > 0) jobs.push_back(job);
    job = {};
  };
  for (ipp_attribute_t* a = ippFirstAttribute(response); a; a = ippNextAttribute(response)) {
    if (!ippGetName(a)) {
      flush();
      continue;
    }
    if (ippGetGroupTag(a) != IPP_TAG_JOB) continue;
    const std::string name = ippGetName(a);
    if (name == "job-id") job.id = ippGetInteger(a, 0);
    if (name == "job-printer-uri") {
      const std::string uri = jobTextOf(a);
      job.queue = uri.substr(uri.rfind('/') + 1);
    }
    if (name == "job-name") job.name = jobTextOf(a);
    if (name == "job-originating-user-name") job.user = jobTextOf(a);
    if (name == "document-format" || name == "document-format-detected") job.format = jobTextOf(a);
    if (name == "job-k-octets") job.kilobytes = ippGetInteger(a, 0);
    if (name == "job-media-sheets" || name == "job-impressions") job.pages = ippGetInteger(a, 0);
    if (name == "time-at-creation") job.created = ippGetInteger(a, 0);
    if (name == "job-state") job.state = ippGetInteger(a, 0);
    if (isTicketKey(name)) job.ticketEntries.emplace_back(name, optionTextOf(a));
  }
  flush();
  return jobs;
}

std::string jobUri(int id) {
  char uri[1024];
  httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(),
                   "/jobs/%d", id);
  return uri;
}

ipp_t* jobRequest(ipp_op_t operation, int id) {
  ipp_t* request = ippNewRequest(operation);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, jobUri(id).c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               cupsUser());
  return request;
}

std::string jobName(const HeldJob& job) {
  return "job " + escapeText(job.queue) + "-" + std::to_string(job.id);
}

/// Adds ticket entry `key`=`value` to a Set-Job-Attributes request: as a
/// name, which holds 255 bytes, or past that as text (a long folder name's
/// hex text), which the filter gets the same way.
void addTicketEntry(ipp_t* request, const std::string& key, const std::string& value) {
  ippAddString(request, IPP_TAG_JOB, value.size() > kMaxNameBytes ? IPP_TAG_TEXT : IPP_TAG_NAME,
               key.c_str(), nullptr, value.c_str());
}

/// Undoes a refused write of `ticket` onto `job`: the entries the job had
/// get their values back, the others are deleted. The scheduler keeps a
/// deleted job attribute as an entry without a value (it cannot take one
/// off a job), which counts as no ticket (carriesTicket).
void takeTicketOff(const HeldJob& job, const platform::PrintSettings& ticket) {
  ipp_t* request = jobRequest(IPP_OP_SET_JOB_ATTRIBUTES, job.id);
  for (const auto& [key, value] : ticket.entries()) {
    auto before = std::find_if(job.ticketEntries.begin(), job.ticketEntries.end(),
                               [&key = key](const auto& entry) { return entry.first == key; });
    if (before != job.ticketEntries.end() && !before->second.empty()) {
      addTicketEntry(request, key, before->second);
    } else {
      ippAddOutOfBand(request, IPP_TAG_JOB, IPP_TAG_DELETEATTR, key.c_str());
    }
  }
  IppMessage(cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/jobs"));
}

}  // namespace

bool HeldJob::held() const {
  return state == IPP_JSTATE_HELD;
}

std::optional<std::vector<HeldJob>> heldJobsOf(const std::string& user, std::string* error) {
  ipp_t* request = ippNewRequest(IPP_OP_GET_JOBS);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, "ipp://localhost/");
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               user.c_str());
  ippAddBoolean(request, IPP_TAG_OPERATION, "my-jobs", 1);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "not-completed");
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                int(std::size(kJobAttributes)), nullptr, kJobAttributes);
  IppMessage response(cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/"));
  std::vector<HeldJob> held;
  if (!response || cupsLastError() > IPP_STATUS_OK_CONFLICTING) {
    if (cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND) return held;
    if (error) {
      *error = "cannot ask the CUPS scheduler at " + schedulerName() +
               " for jobs: " + lastSchedulerReason();
    }
    return std::nullopt;
  }
  for (auto& job : jobsOf(response.get())) {
    // The scheduler answers "my jobs" by the name asked for; the owner is
    // checked again here all the same.
    if (job.held() && job.user == user && !job.queue.empty()) held.push_back(std::move(job));
  }
  std::sort(held.begin(), held.end(), [](const HeldJob& a, const HeldJob& b) {
    return a.created != b.created ? a.created < b.created : a.id < b.id;
  });
  return held;
}

std::optional<HeldJob> describeJob(int id, std::string* error) {
  ipp_t* request = jobRequest(IPP_OP_GET_JOB_ATTRIBUTES, id);
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                int(std::size(kJobAttributes)), nullptr, kJobAttributes);
  IppMessage response(cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/"));
  if (error) error->clear();
  if (!response || cupsLastError() > IPP_STATUS_OK_CONFLICTING) {
    if (cupsLastError() != IPP_STATUS_ERROR_NOT_FOUND && error)
      *error = "job " + std::to_string(id) + ": " + lastSchedulerReason();
    return std::nullopt;
  }
  auto jobs = jobsOf(response.get());
  if (jobs.empty()) return std::nullopt;
  return jobs.front();
}

std::string ticketAttributeProblem(const platform::PrintSettings& ticket) {
  for (const auto& [key, value] : ticket.entries()) {
    if (key.size() > kMaxNameBytes)
      return "the setting name " + escapeText(key) + " is longer than 255 bytes";
    if (value.size() > kMaxTextBytes)
      return "the value of " + escapeText(key) + " is longer than 1023 bytes";
    if (!platform::isValidUtf8(value) || value.find_first_of("\t\n\r") != std::string::npos ||
        value.find('\0') != std::string::npos)
      return "the value of " + escapeText(key) + " is not one line of UTF-8 text";
  }
  return {};
}

bool releaseWithTicket(const HeldJob& job, const platform::PrintSettings& ticket,
                       std::string* error) {
  if (auto problem = ticketAttributeProblem(ticket); !problem.empty()) {
    *error = jobName(job) + ": " + problem + "; the job stays held";
    return false;
  }
  ipp_t* request = jobRequest(IPP_OP_SET_JOB_ATTRIBUTES, job.id);
  for (const auto& [key, value] : ticket.entries()) addTicketEntry(request, key, value);
  ippAddString(request, IPP_TAG_JOB, IPP_TAG_KEYWORD, "job-hold-until", nullptr, "no-hold");
  IppMessage response(cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/jobs"));
  if (response && cupsLastError() == IPP_STATUS_OK) return true;
  const std::string reason = lastSchedulerReason();
  takeTicketOff(job, ticket);
  *error = jobName(job) + ": the CUPS scheduler at " + schedulerName() +
           " did not take the ticket: " + escapeText(reason) + "; the job stays held";
  return false;
}

bool cancelHeldJob(const HeldJob& job, std::string* error) {
  if (cupsCancelJob2(CUPS_HTTP_DEFAULT, job.queue.c_str(), job.id, 0) == IPP_STATUS_OK) return true;
  *error = jobName(job) + ": not cancelled: " + escapeText(lastSchedulerReason());
  return false;
}

}  // namespace jobwick::host
