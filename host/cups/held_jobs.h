// SPDX-License-Identifier: Apache-2.0
// The user's held jobs on the scheduler, and what the agent does to one:
// writes the job ticket onto it and releases it in one request, or cancels
// it. A queue whose default is to hold every job (job-hold-until-default
// indefinite) keeps a job sent from any application until then.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/print_settings.h"

namespace jobwick::host {

/// A job as Get-Jobs describes it.
struct HeldJob {
  int id = 0;
  std::string queue;         ///< the queue's name, from job-printer-uri
  std::string name;          ///< job-name; empty when it has none
  std::string user;          ///< job-originating-user-name
  std::string format;        ///< document-format, when the scheduler says
  long long kilobytes = -1;  ///< job-k-octets; -1 when unknown
  int pages = -1;            ///< job-media-sheets or job-impressions; -1 when unknown
  std::time_t created = 0;   ///< time-at-creation
  int state = 0;             ///< job-state (ipp_jstate_t)
  /// The job-ticket entries among its attributes, with their values as the
  /// filter gets them: none for a job sent without a ticket, the queue's
  /// saved ticket entries for one `lp` sent (it adds the destination's
  /// saved options), or a whole ticket. A deleted entry has no value.
  std::vector<std::pair<std::string, std::string>> ticketEntries;

  bool held() const;
};

/// The jobs `user` owns that are held, oldest first (by creation, then
/// id), with the ticket entries they carry. nullopt with `error` (naming the
/// scheduler and its reason) when the scheduler cannot be asked.
std::optional<std::vector<HeldJob>> heldJobsOf(const std::string& user, std::string* error);

/// Job `id` as the scheduler has it now; nullopt when it is gone (purged)
/// or cannot be asked (`error` then says why; empty when it is gone).
std::optional<HeldJob> describeJob(int id, std::string* error);

/// Why the scheduler could not take `ticket` as job attributes (a key of
/// more than 255 bytes, a value of more than 1023, a tab, line break or
/// bytes that are not UTF-8), naming the entry; empty when it can.
std::string ticketAttributeProblem(const platform::PrintSettings& ticket);

/// Writes every entry of `ticket` onto held job `id` (as IPP names, or as
/// text past 255 bytes) and releases it (job-hold-until no-hold), in one
/// Set-Job-Attributes request. Entries the job carried already (those `lp`
/// adds from the queue's saved options) are overwritten; one `ticket`
/// lacks keeps its value, as the scheduler cannot take an attribute off a
/// job. False with `error` naming the job and the
/// scheduler's reason when anything but success comes back; the entries
/// the scheduler may have kept are then taken off again, so that the job
/// stays held without a part of a ticket.
bool releaseWithTicket(const HeldJob& job, const platform::PrintSettings& ticket,
                       std::string* error);

/// Cancels job `id`. False with `error` naming the job and the reason.
bool cancelHeldJob(const HeldJob& job, std::string* error);

}  // namespace jobwick::host
