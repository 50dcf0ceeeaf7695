// SPDX-License-Identifier: Apache-2.0
// The agent's work on one held job: the queue's panel opened for the job
// (its name as the job name, the job's owner as the user), the user's
// steps taken or the job's settings restored, Print pressed, and the job
// released with the ticket the panel saved, or cancelled. The windowed
// agent and `jobwick agent --once --headless` both come here.
#pragma once

#include <filesystem>
#include <optional>
#include <set>
#include <string>

#include "host/cups/held_jobs.h"
#include "host/cups/saved_options.h"
#include "host/engine/session.h"
#include "host/engine/session_script.h"

namespace jobwick::host {

/// How a held job ended.
enum class AgentOutcome {
  kPrinted,    ///< the ticket is on the job and the job released
  kCancelled,  ///< the job was cancelled
  kRefused,    ///< the panel refused to print; the job stays held
  kFailed,     ///< the queue, the panel or the scheduler failed; the job stays held
};

/// The user's oldest held job (heldJobsOf) on a queue a bundle in
/// `bundleDir` serves that carries no ticket yet (no ticket entries but
/// the queue's saved ones, which `lp` adds), leaving out the jobs in
/// `skip`; the jobs it finds not to be the agent's (a ticket, a queue no
/// bundle serves) are added to `skip`, so that the next look passes them
/// by at once. nullopt when there is none (`error` empty) or the scheduler
/// cannot be asked (`error` names it and its reason).
std::optional<HeldJob> nextHeldJob(const std::string& user, std::set<int>* skip,
                                   const std::filesystem::path& bundleDir, std::string* error);

/// Whether `job` carries a ticket: a ticket entry with a value that is not
/// one of the queue's `saved` ticket entries (by name and value).
bool carriesTicket(const HeldJob& job, const OptionList& saved);

/// `base` with the ticket entries saved for `job`'s queue (its defaults and
/// lpoptions) as the settings the panel restores under the job's own, as
/// the print dialog opens a queue.
SessionOptions agentSessionOptions(const HeldJob& job, SessionOptions base);

/// The script the agent runs for `job` when the user's own is `script`
/// (none: restore the job's settings, then Print): the job's name as the
/// print settings' job name and its owner as the user, unless the script
/// gives its own.
SessionScript agentScriptFor(const HeldJob& job, std::optional<SessionScript> script);

/// Handles held job `job` without a window: opens the panel of the bundle
/// in `bundleDir` that serves its queue, runs agentScriptFor(job, script)
/// with `jobAndUser` (language, preferences folder) over it, presses Print
/// and, when the panel agrees, releases the job with the ticket
/// (releaseWithTicket), refusing a ticket with secrets for a queue whose
/// tickets other users can read. `message` says what happened, for the
/// user ("job Q-12 printed", or why not). Never throws.
AgentOutcome handleHeldJob(const HeldJob& job, std::optional<SessionScript> script,
                           SessionOptions jobAndUser, const std::filesystem::path& bundleDir,
                           const SessionReport& report, std::string* message);

/// The job's release once the panel said yes: the privacy rule, then
/// releaseWithTicket. The outcome and `message` as for handleHeldJob.
AgentOutcome releaseHeldJob(const HeldJob& job, const QueueInfo& queue,
                            const platform::PrintSettings& ticket, std::string* message);

}  // namespace jobwick::host
