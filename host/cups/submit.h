// SPDX-License-Identifier: Apache-2.0
// Submitting a job to a CUPS queue with the job ticket as job options.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/common/document.h"
#include "platform/print_settings.h"

namespace jobwick::host {

/// A job to submit.
struct JobRequest {
  std::string queue;
  std::string jobName;
  std::string documentName;
  std::string data;  ///< the document's bytes, when documentFd is not set
  /// Where the document is read from while it is sent, in chunks (not
  /// owned); -1: `data` is the document.
  int documentFd = -1;
  /// The most bytes read from documentFd.
  std::size_t documentLimit = kMaxDocumentBytes;
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

/// The longest job name, ticket key and ticket value the scheduler takes:
/// they go as IPP names, of at most 255 bytes.
inline constexpr std::size_t kMaxNameBytes = 255;
/// The longest printer option value: IPP text holds at most 1023 bytes.
inline constexpr std::size_t kMaxTextBytes = 1023;

/// Why the scheduler could not take `job` as it stands (a job name, ticket
/// key or ticket value longer than kMaxNameBytes, a printer option value
/// longer than kMaxTextBytes), in words naming the entry; empty when it
/// can. libcups stops writing a request at a value over 32 KiB, short of
/// the length it announced, and both ends then wait until a time-out.
std::string jobRequestProblem(const JobRequest& job);

/// Creates the job (with job-hold-until no-hold unless a printer option
/// sets job-hold-until: a queue that holds jobs for the agent does not hold
/// one that carries its ticket), sends its document (streamed from documentFd when that
/// is set) and answers the job id. nullopt when the job cannot be taken as
/// it stands (jobRequestProblem; nothing is sent), the scheduler refuses or
/// fails, or the document cannot be read or is longer than documentLimit;
/// `error` then names the queue and gives the reason, and a job already
/// created is cancelled, so that nothing half-submitted stays.
std::optional<int> submitJob(const JobRequest& job, std::string* error);

}  // namespace jobwick::host
