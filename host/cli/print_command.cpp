// SPDX-License-Identifier: Apache-2.0
// jobwick print and jobwick queues: jobs through CUPS carrying the panel's
// job ticket.
#include <algorithm>
#include <cstdlib>

#include <nlohmann/json.hpp>

#include "host/cli/commands.h"
#include "host/cli/dialog_options.h"
#include "host/common/alert_text.h"
#include "host/common/document.h"
#include "host/common/escape.h"
#include "host/common/json_text.h"
#include "host/common/settings_io.h"
#include "host/common/translate.h"
#include "host/cups/cups_options.h"
#include "host/cups/cups_queue.h"
#include "host/cups/queue_bundles.h"
#include "host/cups/saved_options.h"
#include "host/cups/submit.h"
#include "host/cups/ticket_privacy.h"
#include "host/engine/plugin_loader.h"
#include "host/engine/session.h"

namespace jobwick::host {
namespace {

namespace fs = std::filesystem;

/// The job's request for `queue` from the command line, the options saved
/// for the queue, the panel's settings and the document's name (the option
/// values have been checked before anything ran). The document itself is
/// read only when the job is submitted.
JobRequest jobFrom(const ParsedArgs& args, const std::string& queue, const OptionList& saved,
                   const platform::PrintSettings& settings) {
  const std::string file = args.positionals.front();
  JobRequest job = jobForTicket(queue, settings,
                                file == "-" ? "(stdin)" : fs::path(file).filename().string(), {});
  if (auto copies = args.value("--copies")) job.copies = std::stoi(*copies);
  OptionList given;
  for (const auto& entry : args.values("--option")) {
    const auto equals = entry.find('=');
    given.emplace_back(entry.substr(0, equals), entry.substr(equals + 1));
  }
  // The saved options first, as lp sends them; the command line's win.
  for (const auto& option : saved) {
    const bool overridden = (option.first == "copies" && job.copies) ||
                            std::any_of(given.begin(), given.end(),
                                        [&](const auto& g) { return g.first == option.first; });
    if (!overridden) job.printerOptions.push_back(option);
  }
  job.printerOptions.insert(job.printerOptions.end(), given.begin(), given.end());
  return job;
}

/// A --option that would replace a ticket entry, as a usage error; empty
/// when there is none.
std::string ticketOptionError(const ParsedArgs& args) {
  for (const auto& entry : args.values("--option")) {
    const std::string key = entry.substr(0, entry.find('='));
    if (isTicketKey(key)) {
      return trf(
          "--option %1: job-ticket entries come from the panel (--session, --settings, "
          "--set)",
          {key});
    }
  }
  return {};
}

/// What --dry-run shows: option lines that 'ticket show -' reads, or with
/// --json the job as a JSON document. Names and values are escaped, so a
/// line break in a file name or a value cannot forge a line.
void showDryRun(std::ostream& out, bool json, const QueueTarget& target, const JobRequest& job) {
  if (json) {
    nlohmann::ordered_json document = {
        {"dryRun", true},
        {"queue", job.queue},
        {"bundle", target.bundle.filename().string()},
        {"jobName", job.jobName},
        {"copies", job.copies ? nlohmann::ordered_json(*job.copies) : nlohmann::ordered_json()},
        {"printerOptions", orderedObjectOf(job.printerOptions)},
        {"ticket", orderedObjectOf(job.exactOptions)}};
    out << jsonText(document, 2) << "\n";
    return;
  }
  out << "# jobwick print --dry-run: nothing sent to queue " << escapeText(job.queue) << " (bundle "
      << escapeText(target.bundle.filename().string()) << ")\n"
      << "# job-name: " << escapeText(job.jobName) << "\n";
  if (job.copies) out << "# copies: " << *job.copies << "\n";
  for (const auto& [key, value] : job.printerOptions)
    out << "# -o " << escapeText(key) << "=" << escapeText(value) << "\n";
  for (const auto& [key, value] : job.exactOptions)
    out << escapeText(key) << "=" << escapeText(value) << "\n";
}

/// The panel's refusal: the message names the queue, with one line per
/// alert the panel showed.
std::string refusal(const PrintVerdict& verdict, const std::string& queue) {
  std::string message =
      trf("the panel refused to print on %1; nothing was submitted", {escapeText(queue)});
  for (const auto& alert : verdict.alerts) message += "\n" + alertText(alert, false);
  return message;
}

/// Shows the job (--dry-run, nothing read) or sends it with the document
/// streamed from FILE; the exit status.
int submitPrint(const Invocation& invocation, const QueueTarget& target, JobRequest job) {
  const bool json = invocation.args.has("--json");
  if (auto problem = jobRequestProblem(job); !problem.empty()) {
    return invocation.fail(ExitStatus::badInput, trf("queue %1: %2; nothing was submitted",
                                                     {escapeText(job.queue), problem}));
  }
  if (invocation.args.has("--dry-run")) {
    showDryRun(invocation.out, json, target, job);
    return kExitSuccess;
  }
  std::string error;
  platform::UniqueFd document = openDocument(invocation.args.positionals.front(), &error);
  if (!document)
    return invocation.fail(ExitStatus::badInput, trf("%1; nothing was submitted", {error}));
  job.documentFd = document.get();
  auto jobId = submitJob(job, &error);
  if (!jobId) return invocation.fail(ExitStatus::failure, error);
  if (json) {
    invocation.out << jsonText(
                          nlohmann::ordered_json{{"job", job.queue + "-" + std::to_string(*jobId)},
                                                 {"queue", job.queue},
                                                 {"jobId", *jobId},
                                                 {"jobName", job.jobName}},
                          2)
                   << "\n";
  } else {
    invocation.out << escapeText(job.queue) << "-" << *jobId << "\n";
  }
  return kExitSuccess;
}

/// An instance that no lpoptions file defines, in words.
std::string unknownInstance(const std::string& named, const Destination& destination) {
  return trf("queue %1 has no instance %2 (lpoptions -p %3 -o NAME=VALUE makes one)",
             {escapeText(destination.queue), escapeText(destination.instance), escapeText(named)});
}

/// Whether a queue's tickets are private, in words, with its policy.
std::string privacyWords(const QueueInfo& queue) {
  return trf(ticketsPrivate(queue) ? N_("tickets private (policy %1)")
                                   : N_("tickets readable by other users (policy %1)"),
             {queue.opPolicy.empty() ? tr("unknown") : escapeText(queue.opPolicy)});
}

}  // namespace

int runPrint(const Invocation& invocation) {
  const ParsedArgs& args = invocation.args;
  if (args.has("--session") && args.has("--settings")) {
    return invocation.fail(ExitStatus::usage, tr("give --session or --settings, not both"));
  }
  if (auto why = ticketOptionError(args); !why.empty()) {
    return invocation.fail(ExitStatus::usage, why);
  }
  // Inputs before anything is asked of the scheduler or the panel.
  std::string error;
  std::optional<SessionScript> script;
  if (auto path = args.value("--session")) {
    script = readSessionScript(*path, variablesFrom(args), &error);
    if (!script) return invocation.fail(ExitStatus::badInput, error);
  }
  if (auto path = args.value("--settings")) {
    platform::PrintSettings ignored;
    if (!readSettingsFile(*path, &ignored, &error)) {
      return invocation.fail(ExitStatus::badInput, error);
    }
  }
  // The document is checked now but read only when the job is sent.
  const std::string& file = args.positionals.front();
  if (!checkDocument(file, &error)) return invocation.fail(ExitStatus::badInput, error);
  const std::optional<std::string> named =
      args.value("--printer") ? args.value("--printer") : defaultDestination();
  if (!named) {
    return invocation.fail(ExitStatus::usage,
                           tr("no --printer QUEUE given and CUPS has no default destination "
                              "(lpoptions -d QUEUE, or lpadmin -d QUEUE)"));
  }
  const Destination destination = splitDestination(*named);
  auto target = resolveQueue(destination.queue, defaultBundleDir(), &error);
  if (!target) return invocation.fail(ExitStatus::failure, error);
  if (!destination.instance.empty() && !instanceDefined(target->queue.name, destination.instance)) {
    return invocation.fail(ExitStatus::failure, unknownInstance(*named, destination));
  }
  const SavedOptions saved = savedOptionsFor(target->queue.name, destination.instance);

  SessionOptions jobAndUser;
  if (auto v = args.value("--settings")) jobAndUser.settingsFile = fs::path(*v);
  jobAndUser.settingOverrides = settingOverridesFrom(args);
  jobAndUser.savedSettings = saved.ticket;
  jobAndUser.language = args.value("--language");
  jobAndUser.prefsDir = preferencesFolderFor(args);
  if (auto v = args.value("--save-settings")) jobAndUser.saveSettings = fs::path(*v);
  PrintVerdict verdict;
  const ExitStatus status =
      runPanelForQueue(*target, std::move(script), std::move(jobAndUser),
                       {invocation.out, invocation.err, false, "print"}, &verdict);
  if (status != ExitStatus::success) {
    return invocation.fail(status,
                           trf("the panel for queue %1 could not run; nothing was submitted",
                               {escapeText(target->queue.name)}));
  }
  if (!verdict.shouldPrint) {
    return invocation.fail(ExitStatus::problems, refusal(verdict, target->queue.name));
  }
  if (auto exposed = exposedTicketProblem(target->queue, verdict.settings);
      !exposed.empty() && !args.has(kAllowExposedTicketOption)) {
    if (!args.has("--dry-run")) return invocation.fail(ExitStatus::failure, exposed);
    invocation.err << "jobwick: print: " << trf("warning: without --dry-run: %1", {exposed})
                   << "\n";
  }
  return submitPrint(invocation, *target,
                     jobFrom(args, target->queue.name, saved.job, verdict.settings));
}

int runQueues(const Invocation& invocation) {
  std::string error;
  auto queues = listQueues(&error);
  if (!queues) return invocation.fail(ExitStatus::failure, error);
  QueueBundles bundles(defaultBundleDir());
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const auto& queue : *queues) {
    std::string why;
    std::optional<fs::path> bundle = bundles.forQueue(queue, &why);
    if (invocation.args.has("--json")) {
      list.push_back(
          {{"queue", queue.name},
           {"deviceURI", queue.deviceURI},
           {"makeAndModel", queue.makeAndModel},
           {"bundle", bundle ? nlohmann::ordered_json(bundle->string()) : nlohmann::ordered_json()},
           {"problem", bundle ? nlohmann::ordered_json() : nlohmann::ordered_json(why)},
           {"opPolicy", queue.opPolicy},
           {"ticketsPrivate", ticketsPrivate(queue)}});
    } else {
      // Every text of a row comes from outside (the scheduler, a PPD).
      invocation.out << escapeText(queue.name) << "  "
                     << (bundle ? escapeText(bundle->filename().string())
                                : trf("no bundle: %1", {escapeText(why)}))
                     << "  " << privacyWords(queue) << "\n";
    }
  }
  if (invocation.args.has("--json")) invocation.out << jsonText(list, 2) << "\n";
  if (queues->empty() && !invocation.args.has("--json"))
    invocation.out << trf("(no queues on the CUPS scheduler at %1)", {escapeText(schedulerName())})
                   << "\n";
  return kExitSuccess;
}

}  // namespace jobwick::host
