// SPDX-License-Identifier: Apache-2.0
// The agent's work on one held job.
#include "host/engine/agent.h"

#include <algorithm>
#include <map>
#include <sstream>

#include "host/common/escape.h"
#include "host/common/translate.h"
#include "host/cups/queue_bundles.h"
#include "host/cups/saved_options.h"
#include "host/cups/ticket_privacy.h"

namespace jobwick::host {
namespace {

namespace fs = std::filesystem;

/// The job as lp names it ("Office_MFP-12").
std::string nameOf(const HeldJob& job) {
  return escapeText(job.queue) + "-" + std::to_string(job.id);
}

}  // namespace

std::optional<HeldJob> nextHeldJob(const std::string& user, std::set<int>* skip,
                                   const fs::path& bundleDir, std::string* error) {
  error->clear();
  auto jobs = heldJobsOf(user, error);
  if (!jobs) return std::nullopt;
  std::optional<std::vector<QueueInfo>> queues;
  QueueBundles bundles(bundleDir);
  std::map<std::string, OptionList> saved;
  for (const auto& job : *jobs) {
    if (skip->count(job.id)) continue;
    if (!job.ticketEntries.empty()) {
      if (!saved.count(job.queue)) saved[job.queue] = savedOptionsFor(job.queue).ticket;
      if (carriesTicket(job, saved[job.queue])) {
        skip->insert(job.id);
        continue;
      }
    }
    if (!queues) queues = listQueues(error);
    if (!queues) return std::nullopt;
    std::string unserved;
    for (const auto& queue : *queues) {
      if (queue.name == job.queue && bundles.forQueue(queue, &unserved)) return job;
    }
    skip->insert(job.id);
  }
  return std::nullopt;
}

bool carriesTicket(const HeldJob& job, const OptionList& saved) {
  for (const auto& entry : job.ticketEntries) {
    // An entry without a value is one a refused release took off again.
    if (!entry.second.empty() && std::find(saved.begin(), saved.end(), entry) == saved.end())
      return true;
  }
  return false;
}

SessionOptions agentSessionOptions(const HeldJob& job, SessionOptions base) {
  for (auto& entry : savedOptionsFor(job.queue).ticket)
    base.savedSettings.push_back(std::move(entry));
  return base;
}

SessionScript agentScriptFor(const HeldJob& job, std::optional<SessionScript> script) {
  if (!script) {
    script.emplace();
    script->path = "(held job)";
    script->folder = fs::current_path();
    script->steps.push_back({1, "restore", "", {{"do", "restore"}}});
  }
  if (!script->settings) script->settings.emplace();
  if (!script->settings->jobName() && !script->settingsFile && !job.name.empty())
    script->settings->setJobName(job.name);
  if (!script->userLogin && !job.user.empty()) script->userLogin = job.user;
  return std::move(*script);
}

AgentOutcome releaseHeldJob(const HeldJob& job, const QueueInfo& queue,
                            const platform::PrintSettings& ticket, std::string* message) {
  if (auto exposed = exposedTicketProblem(queue, ticket); !exposed.empty()) {
    *message = trf("job %1 stays held: %2", {nameOf(job), exposed});
    return AgentOutcome::kFailed;
  }
  std::string error;
  if (!releaseWithTicket(job, ticket, &error)) {
    *message = error;
    return AgentOutcome::kFailed;
  }
  *message = trf("job %1 released with its ticket", {nameOf(job)});
  return AgentOutcome::kPrinted;
}

AgentOutcome handleHeldJob(const HeldJob& job, std::optional<SessionScript> script,
                           SessionOptions jobAndUser, const fs::path& bundleDir,
                           const SessionReport& report, std::string* message) {
  std::string error;
  auto target = resolveQueue(job.queue, bundleDir, &error);
  if (!target) {
    *message = trf("job %1 stays held: %2", {nameOf(job), error});
    return AgentOutcome::kFailed;
  }
  PrintVerdict verdict;
  const ExitStatus status =
      runPanelForQueue(*target, agentScriptFor(job, std::move(script)),
                       agentSessionOptions(job, std::move(jobAndUser)), report, &verdict);
  if (status != ExitStatus::success) {
    *message = trf("job %1 stays held: the panel for queue %2 could not run",
                   {nameOf(job), escapeText(job.queue)});
    return AgentOutcome::kFailed;
  }
  if (!verdict.shouldPrint) {
    *message = trf("job %1 stays held: the panel refused to print", {nameOf(job)});
    return AgentOutcome::kRefused;
  }
  return releaseHeldJob(job, target->queue, verdict.settings, message);
}

}  // namespace jobwick::host
