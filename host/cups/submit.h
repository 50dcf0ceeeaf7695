// Submitting a job to a CUPS queue with the job ticket as job options.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/print_settings.h"

namespace jobwick::host {

/// A job to submit.
struct JobRequest {
  std::string queue;
  std::string jobName;
  std::string documentName;
  std::string data;  ///< the document's bytes
  std::optional<int> copies;
  /// Job options sent as they stand (name attributes): the ticket entries.
  std::vector<std::pair<std::string, std::string>> exactOptions;
  /// Printer options ("-o KEY=VALUE"), encoded as lp encodes them.
  std::vector<std::pair<std::string, std::string>> printerOptions;
};

/// The job of printing `data` (named `documentName`) on `queue` with the
/// job's print settings `settings`: every entry goes as a job option
/// exactly as saved, and the job is named by the settings' job name, else
/// by the document. Never fails.
JobRequest jobForTicket(std::string queue, const platform::PrintSettings& settings,
                        std::string documentName, std::string data);

/// Creates the job, sends its document and answers the job id. nullopt when
/// the scheduler refuses or fails; `error` then names the queue and gives
/// the scheduler's reason, and a job already created is cancelled, so that
/// nothing half-submitted stays.
std::optional<int> submitJob(const JobRequest& job, std::string* error);

}  // namespace jobwick::host
