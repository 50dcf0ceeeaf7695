// SPDX-License-Identifier: Apache-2.0
// The agent's work on one held job.
#include "host/engine/agent.h"

#include <sstream>

#include "host/common/escape.h"
#include "host/cups/ticket_privacy.h"

namespace jobwick::host {
namespace {

namespace fs = std::filesystem;

std::string nameOf(const HeldJob& job) {
  return "job " + escapeText(job.queue) + "-" + std::to_string(job.id);
}

}  // namespace

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
    *message = nameOf(job) + " stays held: " + exposed;
    return AgentOutcome::kFailed;
  }
  std::string error;
  if (!releaseWithTicket(job, ticket, &error)) {
    *message = error;
    return AgentOutcome::kFailed;
  }
  *message = nameOf(job) + " released with its ticket";
  return AgentOutcome::kPrinted;
}

AgentOutcome handleHeldJob(const HeldJob& job, std::optional<SessionScript> script,
                           SessionOptions jobAndUser, const fs::path& bundleDir,
                           const SessionReport& report, std::string* message) {
  std::string error;
  auto target = resolveQueue(job.queue, bundleDir, &error);
  if (!target) {
    *message = nameOf(job) + " stays held: " + error;
    return AgentOutcome::kFailed;
  }
  PrintVerdict verdict;
  const ExitStatus status = runPanelForQueue(*target, agentScriptFor(job, std::move(script)),
                                             std::move(jobAndUser), report, &verdict);
  if (status != ExitStatus::success) {
    *message = nameOf(job) + " stays held: the panel for queue " + escapeText(job.queue) +
               " could not run";
    return AgentOutcome::kFailed;
  }
  if (!verdict.shouldPrint) {
    *message = nameOf(job) + " stays held: the panel refused to print";
    return AgentOutcome::kRefused;
  }
  return releaseHeldJob(job, target->queue, verdict.settings, message);
}

}  // namespace jobwick::host
