// Submitting a job to a CUPS queue.
#include "host/cups/submit.h"

#include <memory>

#include <cups/cups.h>

#include "host/cups/cups_queue.h"
#include "platform/c_handles.h"

namespace jobwick::host {
namespace {

using platform::IppMessage;

struct OptionsDeleter {
  int count = 0;
  void operator()(cups_option_t* options) const noexcept { cupsFreeOptions(count, options); }
};

}  // namespace

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
  if (job.copies) ippAddInteger(request, IPP_TAG_JOB, IPP_TAG_INTEGER, "copies", *job.copies);
  // The ticket's values go as they stand: lp's encoding would turn "007"
  // into the number 7 and split values at commas.
  for (const auto& [key, value] : job.exactOptions)
    ippAddString(request, IPP_TAG_JOB, IPP_TAG_NAME, key.c_str(), nullptr, value.c_str());

  const std::string resource = "/printers/" + job.queue;
  IppMessage response(cupsDoRequest(CUPS_HTTP_DEFAULT, request, resource.c_str()));
  auto fail = [&](const std::string& what) -> std::optional<int> {
    *error = "queue " + job.queue + ": " + what + ": " + lastSchedulerReason();
    return std::nullopt;
  };
  if (!response || cupsLastError() > IPP_STATUS_OK_CONFLICTING) return fail("job refused");
  ipp_attribute_t* id = ippFindAttribute(response.get(), "job-id", IPP_TAG_INTEGER);
  if (!id) return fail("the scheduler gave no job id");
  const int jobId = ippGetInteger(id, 0);

  bool sent =
      cupsStartDocument(CUPS_HTTP_DEFAULT, job.queue.c_str(), jobId, job.documentName.c_str(),
                        CUPS_FORMAT_AUTO, 1) == HTTP_STATUS_CONTINUE;
  sent =
      sent && (job.data.empty() || cupsWriteRequestData(CUPS_HTTP_DEFAULT, job.data.data(),
                                                        job.data.size()) == HTTP_STATUS_CONTINUE);
  const ipp_status_t finished = cupsFinishDocument(CUPS_HTTP_DEFAULT, job.queue.c_str());
  if (sent && finished <= IPP_STATUS_OK_CONFLICTING) return jobId;
  std::string reason = lastSchedulerReason();
  cupsCancelJob2(CUPS_HTTP_DEFAULT, job.queue.c_str(), jobId, 1);
  *error = "queue " + job.queue + ": the document was not taken (job " + std::to_string(jobId) +
           " cancelled): " + reason;
  return std::nullopt;
}

}  // namespace jobwick::host
