// SPDX-License-Identifier: Apache-2.0
// jobwick agent --once --headless: the agent's work on the user's oldest
// held job, without a window, for tests and administrators.
#include <cups/cups.h>

#include <set>

#include "host/cli/commands.h"
#include "host/cli/dialog_options.h"
#include "host/common/escape.h"
#include "host/common/translate.h"
#include "host/cups/held_jobs.h"
#include "host/engine/agent.h"
#include "host/engine/plugin_loader.h"

namespace jobwick::host {
namespace {

namespace fs = std::filesystem;

int exitFor(AgentOutcome outcome) {
  switch (outcome) {
    case AgentOutcome::kPrinted:
      return kExitSuccess;
    case AgentOutcome::kRefused:
      return kExitProblems;
    case AgentOutcome::kCancelled:
    case AgentOutcome::kFailed:
      break;
  }
  return kExitFailure;
}

}  // namespace

int runAgent(const Invocation& invocation) {
  const ParsedArgs& args = invocation.args;
  if (!args.has("--once") || !args.has("--headless")) {
    return invocation.fail(
        ExitStatus::usage,
        tr("without a window the agent runs as 'jobwick agent --once --headless'"));
  }
  if (args.has("--script") && args.has("--cancel")) {
    return invocation.fail(ExitStatus::usage, tr("give --script or --cancel, not both"));
  }
  std::string error;
  std::optional<SessionScript> script;
  if (auto path = args.value("--script")) {
    script = readSessionScript(*path, variablesFrom(args), &error);
    if (!script) return invocation.fail(ExitStatus::badInput, error);
  }
  std::set<int> passed;
  auto job = nextHeldJob(cupsUser(), &passed, defaultBundleDir(), &error);
  if (!job) {
    if (!error.empty()) return invocation.fail(ExitStatus::failure, error);
    invocation.out << trf("no held job of %1 waits on a Jobwick queue", {escapeText(cupsUser())})
                   << "\n";
    return kExitFailure;
  }
  std::string message;
  AgentOutcome outcome;
  if (args.has("--cancel")) {
    outcome = cancelHeldJob(*job, &message) ? AgentOutcome::kCancelled : AgentOutcome::kFailed;
    if (outcome == AgentOutcome::kCancelled)
      message = trf("job %1 cancelled", {escapeText(job->queue) + "-" + std::to_string(job->id)});
  } else {
    SessionOptions jobAndUser;
    jobAndUser.language = args.value("--language");
    jobAndUser.prefsDir = preferencesFolderFor(args);
    if (auto v = args.value("--save-settings")) jobAndUser.saveSettings = fs::path(*v);
    outcome = handleHeldJob(*job, std::move(script), std::move(jobAndUser), defaultBundleDir(),
                            {invocation.out, invocation.err, false, "agent"}, &message);
  }
  if (outcome == AgentOutcome::kFailed) return invocation.fail(ExitStatus::failure, message);
  (outcome == AgentOutcome::kRefused ? invocation.err << "jobwick: agent: " : invocation.out)
      << message << "\n";
  return exitFor(outcome);
}

}  // namespace jobwick::host
