// SPDX-License-Identifier: Apache-2.0
// Whether a job ticket may go to a queue: the ticket's ciphers use keys any
// reader of the ticket can find, so a ticket that carries a secret goes
// only where other users of the scheduler cannot read it.
#pragma once

#include <string>
#include <vector>

#include "host/cups/cups_queue.h"
#include "platform/print_settings.h"

namespace jobwick::host {

/// The secrets the job ticket in `settings` carries, each named once in
/// this order: "pass code", "folder password", "login name", "password",
/// "user number". An entry counts when it has a value, whatever the value
/// (a damaged or unknown piece of a secret is still part of it). Empty when
/// the ticket carries none.
std::vector<std::string> ticketSecrets(const platform::PrintSettings& settings);

/// Why the ticket in `settings` must not go to `queue`: one line naming the
/// queue, its policy, the secrets and the command that makes the queue
/// private. Empty when it may go: the queue's tickets are private, or the
/// ticket carries no secret.
std::string exposedTicketProblem(const QueueInfo& queue, const platform::PrintSettings& settings);

/// The option that sends a ticket with secrets to a queue whose tickets
/// other users can read.
inline constexpr const char* kAllowExposedTicketOption = "--allow-exposed-ticket";

}  // namespace jobwick::host
