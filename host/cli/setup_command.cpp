// SPDX-License-Identifier: Apache-2.0
// jobwick setup: a queue for a Jobwick printer whose job tickets no other
// user of the scheduler can read or change.
#include <chrono>
#include <thread>

#include <nlohmann/json.hpp>

#include "host/cli/commands.h"
#include "host/common/bounded_read.h"
#include "host/common/escape.h"
#include "host/common/json_text.h"
#include "host/common/translate.h"
#include "host/cups/cups_queue.h"
#include "host/cups/scheduler_admin.h"
#include "host/engine/plugin_loader.h"

namespace jobwick::host {
namespace {

namespace fs = std::filesystem;

/// The largest PPD `setup` compares or installs.
constexpr std::size_t kMaxPPDBytes = 16u << 20;
/// How long the scheduler may take to come back with a new configuration
/// (it waits up to its ReloadTimeout, 30 s by default, for printing jobs).
constexpr auto kReloadWait = std::chrono::seconds(60);

/// How long a job held for the agent waits when the administrator does not
/// say (--max-hold-time): a day, in seconds.
constexpr const char* kDefaultMaxHoldTime = "86400";

/// What setup found and did, for the report.
struct SetupReport {
  std::string queue;
  std::vector<std::string> changes;
  std::vector<std::string> warnings;
  bool ticketsPrivate = false;
};

/// Where the queue's PPD comes from, read and checked: it must describe a
/// printer a Jobwick bundle serves.
struct PPDSource {
  std::string text;
  std::string what;  ///< "the PPD FILE", "model MODEL"
  std::unique_ptr<TemporaryFile> fetched;
};

/// The driver --model names, as the scheduler lists it: a bare model name
/// ("vk7300") is Jobwick's own driver for it ("jobwick/vk7300.ppd").
std::optional<std::string> modelOf(const ParsedArgs& args) {
  auto model = args.value("--model");
  if (model && !model->empty() && model->find('/') == std::string::npos &&
      !model->ends_with(".ppd"))
    return "jobwick/" + *model + ".ppd";
  return model;
}

/// Reads the PPD of --ppd or --model and checks that a bundle serves it.
/// nullopt (after reporting) on failure; `status` then holds the exit code.
std::optional<PPDSource> ppdSource(const Invocation& invocation, int* status) {
  const ParsedArgs& args = invocation.args;
  PPDSource source;
  fs::path path;
  std::string error;
  if (auto file = args.value("--ppd")) {
    path = *file;
    source.what = trf("the PPD %1", {escapeText(*file)});
  } else if (auto model = modelOf(args)) {
    source.fetched = fetchModelPPD(*model, &error);
    if (!source.fetched) {
      *status = invocation.fail(ExitStatus::failure, error);
      return std::nullopt;
    }
    path = source.fetched->path();
    source.what = trf("model %1", {escapeText(*model)});
  }
  if (!readBoundedFile(path, N_("PPD"), kMaxPPDBytes, &source.text, &error)) {
    *status = invocation.fail(ExitStatus::badInput, error);
    return std::nullopt;
  }
  if (!bundleForPPD(path, defaultBundleDir(), &error)) {
    *status = invocation.fail(ExitStatus::badInput,
                              trf("%1 is not a Jobwick printer's: %2", {source.what, error}));
    return std::nullopt;
  }
  return source;
}

/// Adds the private policy to the scheduler's configuration when it is
/// missing or differs; warns when the scheduler logs tickets. False (after
/// reporting) on failure; `configChanged` says whether it was written.
bool ensurePolicy(const Invocation& invocation, SetupReport* report,
                  const std::optional<std::string>& maxHoldTime, bool* configChanged, int* status) {
  std::string error;
  auto config = readSchedulerConfig(&error);
  if (!config) {
    *status = invocation.fail(ExitStatus::failure, trf("%1; nothing was changed", {error}));
    return false;
  }
  const std::string level = logLevelOf(*config);
  if (logsTickets(level)) {
    report->warnings.push_back(
        trf("the scheduler logs at level %1, so its error log holds every job's ticket (the "
            "filters' options); set LogLevel warn ('cupsctl --no-debug-logging')",
            {escapeText(level)}));
  }
  const PolicyEdit edit = withPrivatePolicy(&*config);
  // An empty time asks for a bound: the one there is, else a day.
  const std::string before = directiveValue(*config, "MaxHoldTime");
  std::optional<std::string> hold = maxHoldTime;
  if (hold && hold->empty()) hold = before.empty() || before == "0" ? kDefaultMaxHoldTime : before;
  const bool holdChanged = hold && withDirective(&*config, "MaxHoldTime", *hold);
  *configChanged = edit != PolicyEdit::kUnchanged || holdChanged;
  if (!*configChanged) return true;
  if (!writeSchedulerConfig(*config, &error)) {
    *status = invocation.fail(ExitStatus::failure, trf("%1; nothing was changed", {error}));
    return false;
  }
  const std::string server = escapeText(schedulerName());
  if (edit != PolicyEdit::kUnchanged) {
    report->changes.push_back(
        trf(edit == PolicyEdit::kAdded
                ? N_("added the policy %1 in the configuration of the CUPS scheduler at %2")
                : N_("rewrote the policy %1 in the configuration of the CUPS scheduler at %2"),
            {kPrivatePolicy, server}));
  }
  if (holdChanged) {
    report->changes.push_back(
        trf("MaxHoldTime %1 (was %2) in the configuration of the CUPS scheduler at %3: a held job "
            "nobody releases is cancelled after that",
            {escapeText(*hold), before.empty() ? tr("unset") : escapeText(before), server}));
  }
  return true;
}

/// Sends `change`, waiting while the scheduler reloads a configuration
/// that brings the policy (it is away, then does not know the policy yet).
bool applyChange(const Invocation& invocation, const std::string& queue, const QueueChange& change,
                 bool waitForReload, std::string* error) {
  const auto start = std::chrono::steady_clock::now();
  bool told = false;
  for (;;) {
    bool policyUnknown = false;
    if (modifyQueue(queue, change, error, &policyUnknown)) return true;
    const auto waited = std::chrono::steady_clock::now() - start;
    if (!waitForReload || !policyUnknown || waited > kReloadWait) return false;
    if (!told && waited > std::chrono::seconds(1)) {
      invocation.err << "jobwick: setup: "
                     << tr("waiting for the scheduler to load its new configuration...") << "\n";
      told = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
}

/// The queue's job-hold-until-default that the options ask for: held for
/// the agent with --hold-for-agent (and for a new queue unless
/// --no-hold-for-agent), "no-hold" with --no-hold-for-agent; nullopt to
/// leave it.
std::optional<std::string> holdFor(const ParsedArgs& args, bool newQueue) {
  if (args.has("--no-hold-for-agent")) return "no-hold";
  if (args.has("--hold-for-agent") || newQueue) return "indefinite";
  return std::nullopt;
}

/// What the queue needs: the PPD, device and policy that differ from what
/// it has (`queue`, nullopt when there is none yet).
QueueChange changeFor(const ParsedArgs& args, const std::optional<QueueInfo>& queue,
                      const std::optional<PPDSource>& source, SetupReport* report) {
  QueueChange change;
  change.opPolicy = kPrivatePolicy;
  if (auto file = args.value("--ppd")) change.ppdFile = fs::path(*file);
  if (auto model = modelOf(args)) change.model = *model;
  if (auto uri = args.value("--device-uri")) change.deviceURI = *uri;
  const std::string name = escapeText(report->queue);
  if (!queue) {
    change.enable = true;
    change.holdDefault = holdFor(args, true);
    report->changes.push_back(
        trf("queue %1: made with %2 and device %3, under the policy %4: other users cannot read "
            "its tickets",
            {name, source->what, escapeText(*change.deviceURI), kPrivatePolicy}) +
        (*change.holdDefault == "indefinite"
             ? tr("; it holds every job without a ticket for the agent")
             : ""));
    return change;
  }
  if (source) {
    std::string current, ignored;
    if (auto ppd = fetchQueuePPD(queue->name, &ignored))
      readBoundedFile(ppd->path(), "PPD", kMaxPPDBytes, &current, &ignored);
    if (current == source->text) {
      change.ppdFile.reset();
      change.model.reset();
    } else {
      report->changes.push_back(trf("queue %1: driver replaced by %2", {name, source->what}));
    }
  }
  if (change.deviceURI && *change.deviceURI == queue->deviceURI) change.deviceURI.reset();
  if (change.deviceURI) {
    report->changes.push_back(
        trf("queue %1: device %2 (was %3)",
            {name, escapeText(*change.deviceURI), escapeText(queue->deviceURI)}));
  }
  if (auto hold = holdFor(args, false); hold && *hold != queue->holdDefault) {
    change.holdDefault = hold;
    const bool waits = *hold == "indefinite";
    report->changes.push_back(
        trf(waits ? N_("queue %1: job-hold-until-default %2 -> %3: every job without a ticket "
                       "waits for the agent")
                  : N_("queue %1: job-hold-until-default %2 -> %3: jobs print without waiting for "
                       "the agent"),
            {name, escapeText(queue->holdDefault), *hold}));
  }
  if (queue->opPolicy == kPrivatePolicy) {
    change.opPolicy.reset();
  } else {
    report->changes.push_back(
        trf("queue %1: policy %2 -> %3: other users can no longer read its tickets",
            {name, escapeText(queue->opPolicy), kPrivatePolicy}));
  }
  return change;
}

int printReport(const Invocation& invocation, const SetupReport& report) {
  for (const auto& warning : report.warnings)
    invocation.err << "jobwick: setup: " << trf("warning: %1", {warning}) << "\n";
  if (invocation.args.has("--json")) {
    invocation.out << jsonText(nlohmann::ordered_json{{"queue", report.queue},
                                                      {"changed", !report.changes.empty()},
                                                      {"changes", report.changes},
                                                      {"warnings", report.warnings},
                                                      {"ticketsPrivate", report.ticketsPrivate}},
                               2)
                   << "\n";
    return kExitSuccess;
  }
  for (const auto& change : report.changes) invocation.out << change << "\n";
  if (report.changes.empty()) {
    invocation.out
        << trf(report.ticketsPrivate
                   ? N_("queue %1: nothing to change; its tickets are private (policy %2)")
                   : N_("queue %1: nothing to change; it is not under the policy %2"),
               {escapeText(report.queue), kPrivatePolicy})
        << "\n";
  }
  return kExitSuccess;
}

/// The queue as the scheduler has it; nullopt when there is no such queue.
/// False (after reporting) when the scheduler cannot be asked.
bool findQueue(const Invocation& invocation, const std::string& name,
               std::optional<QueueInfo>* queue, int* status) {
  std::string error;
  *queue = describeQueue(name, &error);
  if (*queue || queueNotFound()) return true;
  *status = invocation.fail(ExitStatus::failure, error);
  return false;
}

int runUndo(const Invocation& invocation, const std::string& name) {
  int status = kExitSuccess;
  std::optional<QueueInfo> queue;
  if (!findQueue(invocation, name, &queue, &status)) return status;
  if (!queue)
    return invocation.fail(ExitStatus::failure, trf("no queue named %1", {escapeText(name)}));
  SetupReport report{queue->name, {}, {}, false};
  if (queue->opPolicy == kPrivatePolicy) {
    std::string error;
    QueueChange change;
    change.opPolicy = "default";
    if (!modifyQueue(queue->name, change, &error)) {
      return invocation.fail(ExitStatus::failure, error);
    }
    report.changes.push_back(
        trf("queue %1: policy %2 -> default: other users of the scheduler can read its tickets",
            {escapeText(queue->name), kPrivatePolicy}));
  }
  return printReport(invocation, report);
}

}  // namespace

int runSetup(const Invocation& invocation) {
  const ParsedArgs& args = invocation.args;
  const std::string& name = args.positionals.front();
  const bool undo = args.has("--undo");
  if (args.has("--ppd") && args.has("--model")) {
    return invocation.fail(ExitStatus::usage, tr("give --ppd or --model, not both"));
  }
  if (undo && (args.has("--ppd") || args.has("--model") || args.has("--device-uri") ||
               args.has("--hold-for-agent") || args.has("--no-hold-for-agent") ||
               args.has("--max-hold-time"))) {
    return invocation.fail(ExitStatus::usage, tr("--undo takes no other option"));
  }
  if (args.has("--hold-for-agent") && args.has("--no-hold-for-agent")) {
    return invocation.fail(ExitStatus::usage,
                           tr("give --hold-for-agent or --no-hold-for-agent, not both"));
  }
  if (auto time = args.value("--max-hold-time");
      time && (time->empty() || time->size() > 9 ||
               time->find_first_not_of("0123456789") != std::string::npos || *time == "0" ||
               time->front() == '0')) {
    return invocation.fail(
        ExitStatus::usage,
        trf("option --max-hold-time needs a number of seconds from 1 to 999999999, got \"%1\"",
            {escapeText(*time)}));
  }
  if (undo) return runUndo(invocation, name);
  int status = kExitSuccess;
  std::optional<PPDSource> source;
  if (args.has("--ppd") || args.has("--model")) {
    source = ppdSource(invocation, &status);
    if (!source) return status;
  }
  std::optional<QueueInfo> queue;
  if (!findQueue(invocation, name, &queue, &status)) return status;
  if (!queue && (!source || !args.has("--device-uri"))) {
    return invocation.fail(
        ExitStatus::failure,
        trf("no queue named %1; to make it, give --ppd FILE or --model MODEL, and --device-uri URI",
            {escapeText(name)}));
  }
  if (queue && !source) {
    std::string why;
    auto ppd = fetchQueuePPD(queue->name, &why);
    if (!ppd || !bundleForPPD(ppd->path(), defaultBundleDir(), &why)) {
      return invocation.fail(ExitStatus::failure, trf("queue %1 is not a Jobwick printer's: %2",
                                                      {escapeText(name), why}));
    }
  }
  SetupReport report{queue ? queue->name : name, {}, {}, true};
  bool configChanged = false;
  // Holding jobs for the agent bounds how long they wait.
  std::optional<std::string> maxHoldTime = args.value("--max-hold-time");
  if (!maxHoldTime && holdFor(args, !queue) == "indefinite") maxHoldTime = "";
  if (!ensurePolicy(invocation, &report, maxHoldTime, &configChanged, &status)) return status;
  const QueueChange change = changeFor(args, queue, source, &report);
  if (change.ppdFile || change.model || change.deviceURI || change.opPolicy || change.holdDefault) {
    std::string error;
    if (!applyChange(invocation, report.queue, change, configChanged, &error)) {
      return invocation.fail(ExitStatus::failure, error);
    }
  }
  return printReport(invocation, report);
}

}  // namespace jobwick::host
