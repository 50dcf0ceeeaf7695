// SPDX-License-Identifier: Apache-2.0
// Submitting a job to a CUPS queue.
#include "host/cups/submit.h"

#include <memory>

#include <cups/cups.h>

#include "host/common/escape.h"
#include "host/common/translate.h"
#include "host/cups/cups_queue.h"
#include "platform/c_handles.h"

namespace jobwick::host {
namespace {

using platform::IppMessage;

struct OptionsDeleter {
  int count = 0;
  void operator()(cups_option_t* options) const noexcept { cupsFreeOptions(count, options); }
};

/// Sends the document: `job.data`, or what documentFd holds, in chunks.
/// False when it was not all sent; `error` then says why.
bool sendDocument(const JobRequest& job, std::string* error) {
  auto write = [](std::string_view chunk) {
    return cupsWriteRequestData(CUPS_HTTP_DEFAULT, chunk.data(), chunk.size()) ==
           HTTP_STATUS_CONTINUE;
  };
  if (job.documentFd < 0) return job.data.empty() || write(job.data);
  std::string why;
  if (streamBounded(job.documentFd, job.documentLimit, write, &why)) return true;
  if (!why.empty()) *error = trf("the document %1", {why});
  return false;
}

std::string tooLong(const std::string& what, std::size_t bytes, std::size_t limit = kMaxNameBytes) {
  return what + " is " + std::to_string(bytes) + " bytes long; the scheduler takes at most " +
         std::to_string(limit) + " bytes there";
}

}  // namespace

std::string jobRequestProblem(const JobRequest& job) {
  if (job.jobName.size() > kMaxNameBytes) return tooLong("the job name", job.jobName.size());
  for (const auto& [key, value] : job.exactOptions) {
    if (key.size() > kMaxNameBytes)
      return tooLong("the setting name " + quoteText(key), key.size());
    if (value.size() > kMaxNameBytes) {
      return tooLong("the value of setting " + escapeText(key), value.size());
    }
  }
  for (const auto& [key, value] : job.printerOptions) {
    if (key.size() > kMaxNameBytes) return tooLong("the option " + quoteText(key), key.size());
    if (value.size() > kMaxTextBytes) {
      return tooLong("the value of option " + escapeText(key), value.size(), kMaxTextBytes);
    }
  }
  return {};
}

JobRequest jobForTicket(std::string queue, const platform::PrintSettings& settings,
                        std::string documentName, std::string data) {
  JobRequest job;
  job.queue = std::move(queue);
  job.jobName = settings.jobName().value_or(documentName);
  job.documentName = std::move(documentName);
  job.data = std::move(data);
  for (const auto& [key, value] : settings.entries()) job.exactOptions.emplace_back(key, value);
  return job;
}

std::optional<int> submitJob(const JobRequest& job, std::string* error) {
  if (auto problem = jobRequestProblem(job); !problem.empty()) {
    *error = trf("queue %1: %2; nothing was submitted", {escapeText(job.queue), problem});
    return std::nullopt;
  }
  char uri[1024];
  httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(),
                   "/printers/%s", job.queue.c_str());
  ipp_t* request = ippNewRequest(IPP_OP_CREATE_JOB);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               cupsUser());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, job.jobName.c_str());
  cups_option_t* options = nullptr;
  int count = 0;
  for (const auto& [key, value] : job.printerOptions)
    count = cupsAddOption(key.c_str(), value.c_str(), count, &options);
  std::unique_ptr<cups_option_t, OptionsDeleter> owned(options, OptionsDeleter{count});
  cupsEncodeOptions2(request, count, options, IPP_TAG_JOB);
  // The job carries its ticket: a queue that holds jobs for the agent lets
  // it go, unless the caller asks for a hold itself.
  if (!cupsGetOption("job-hold-until", count, options))
    ippAddString(request, IPP_TAG_JOB, IPP_TAG_KEYWORD, "job-hold-until", nullptr, "no-hold");
  if (job.copies) ippAddInteger(request, IPP_TAG_JOB, IPP_TAG_INTEGER, "copies", *job.copies);
  // The ticket's values go as they stand: lp's encoding would turn "007"
  // into the number 7 and split values at commas.
  for (const auto& [key, value] : job.exactOptions)
    ippAddString(request, IPP_TAG_JOB, IPP_TAG_NAME, key.c_str(), nullptr, value.c_str());

  const std::string resource = "/printers/" + job.queue;
  IppMessage response(cupsDoRequest(CUPS_HTTP_DEFAULT, request, resource.c_str()));
  auto fail = [&](const std::string& what) -> std::optional<int> {
    *error =
        trf("queue %1: %2: %3", {escapeText(job.queue), what, escapeText(lastSchedulerReason())});
    return std::nullopt;
  };
  if (!response || cupsLastError() > IPP_STATUS_OK_CONFLICTING) return fail(tr("job refused"));
  ipp_attribute_t* id = ippFindAttribute(response.get(), "job-id", IPP_TAG_INTEGER);
  if (!id) return fail(tr("the scheduler gave no job id"));
  const int jobId = ippGetInteger(id, 0);

  bool sent =
      cupsStartDocument(CUPS_HTTP_DEFAULT, job.queue.c_str(), jobId, job.documentName.c_str(),
                        CUPS_FORMAT_AUTO, 1) == HTTP_STATUS_CONTINUE;
  std::string unread;
  sent = sent && sendDocument(job, &unread);
  const ipp_status_t finished = cupsFinishDocument(CUPS_HTTP_DEFAULT, job.queue.c_str());
  if (sent && finished <= IPP_STATUS_OK_CONFLICTING) return jobId;
  std::string reason = unread.empty() ? lastSchedulerReason() : unread;
  cupsCancelJob2(CUPS_HTTP_DEFAULT, job.queue.c_str(), jobId, 1);
  *error = trf("queue %1: the document was not taken (job %2 cancelled): %3",
               {escapeText(job.queue), std::to_string(jobId), escapeText(reason)});
  return std::nullopt;
}

}  // namespace jobwick::host
