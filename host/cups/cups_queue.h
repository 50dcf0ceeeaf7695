// SPDX-License-Identifier: Apache-2.0
// CUPS queues as a print dialog sees them: the scheduler asked through
// libcups (CUPS_SERVER and the usual client configuration honoured) for a
// queue, its device URI and PPD, and the plug-in bundle that serves it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/common/temporary.h"
#include "platform/ppd.h"

namespace jobwick::host {

/// The PPD keyword that names the plug-in bundle serving a printer, as print
/// dialogs find their extensions in a PPD:
///   *JobwickDialogExtension: "JobwickVk7300.plugin"
inline constexpr const char* kBundleKeyword = "JobwickDialogExtension";

/// A print queue as the scheduler describes it.
struct QueueInfo {
  std::string name;
  std::string deviceURI;     ///< empty when the scheduler does not say
  std::string makeAndModel;  ///< printer-make-and-model
  std::string opPolicy;      ///< printer-op-policy; empty when the scheduler does not say
  std::string holdDefault;   ///< job-hold-until-default ("no-hold", "indefinite", ...)
  /// printer-config-change-time: when the scheduler last changed the
  /// queue (its PPD included), seconds since 1970; 0 when it does not say.
  long long configChanged = 0;
  /// printer-is-accepting-jobs: false once the queue rejects jobs
  /// (cupsreject); true when the scheduler does not say.
  bool acceptingJobs = true;
  /// printer-state: "idle", "processing" or "stopped"; empty when the
  /// scheduler does not say.
  std::string state{};
  /// printer-state-message: the scheduler's or administrator's words on the
  /// queue's state (a rejecting queue's reason); empty when there are none.
  std::string stateMessage{};
};

/// Why `queue` cannot take a job now, in the scheduler's words ("queue
/// Office_MFP does not accept jobs: closed for repairs"); empty when it
/// accepts them. A stopped queue still takes jobs and holds them.
std::string jobRefusal(const QueueInfo& queue);

/// Whether the scheduler takes a document of `bytes` bytes for queue
/// `queue`, asked without sending one: a request that announces its length
/// and waits for the go-ahead (HTTP's "Expect: 100-continue"). The
/// scheduler's refusal of the length in words ("queue Office_MFP refuses a
/// document of 2.0 MiB: Request Entity Too Large"); empty when it would
/// take it or says nothing within a second. A sent document that failed
/// is explained by this (the print path's own error only says the
/// transfer failed).
std::string documentRefusal(const std::string& queue, std::uintmax_t bytes);

/// The scheduler policy `jobwick setup` writes and puts a queue under: only
/// a job's owner (authenticated) and administrators read its ticket
/// entries or change, release or cancel it.
inline constexpr const char* kPrivatePolicy = "jobwick";

/// Whether other users of the scheduler are kept from `queue`'s job
/// tickets: the queue is under the policy kPrivatePolicy.
bool ticketsPrivate(const QueueInfo& queue);

/// "127.0.0.1:8631" or "/run/cups/cups.sock": the scheduler libcups talks to.
std::string schedulerName();

/// Why the last request to the scheduler failed, in words: the scheduler's
/// own message, or, when no answer came at all, why no connection could be
/// made ("Connection refused", "No such file or directory", a name that
/// cannot be resolved) instead of what libcups was left holding ("Bad file
/// descriptor"). Never empty.
std::string lastSchedulerReason();

/// Whether the last request failed for want of a scheduler (no answer at
/// all) rather than by the scheduler's refusal; false after a success.
bool schedulerUnreachable();

/// Whether the last request failed because the scheduler has no such queue
/// (or job); false after a success.
bool queueNotFound();

/// Asks the scheduler about queue `name`. Answers nullopt when there is no
/// such queue or the scheduler cannot be asked; `error` then names the queue
/// or the scheduler and gives the scheduler's own reason.
std::optional<QueueInfo> describeQueue(const std::string& name, std::string* error);

/// Every queue of the scheduler, sorted by name. nullopt (with `error`) when
/// the scheduler cannot be asked.
std::optional<std::vector<QueueInfo>> listQueues(std::string* error);

/// The PPD of queue `name`, fetched into a temporary file. Null (with
/// `error` naming the queue and the reason) when the queue has no PPD or it
/// cannot be fetched.
std::unique_ptr<TemporaryFile> fetchQueuePPD(const std::string& name, std::string* error);

/// The names of the bundles (*.plugin folders) in `bundleDir`, sorted; empty
/// when there are none or the folder cannot be read.
std::vector<std::string> availableBundles(const std::filesystem::path& bundleDir);

/// The bundle in `bundleDir` that serves the printer of `ppd`: the one the
/// PPD names with *JobwickDialogExtension (a bundle folder's name: one
/// plain path component, not "." or "..", that lies in `bundleDir` once
/// links are resolved, so a PPD cannot load code from elsewhere), else
/// the one whose model ends the PPD's *ModelName ("Quivo VK-7300" is served
/// by JobwickVk7300.plugin). nullopt when none does; `error` then says why
/// (the PPD's texts escaped) and lists the bundles there are. Only these
/// keywords are read (one pass over the file, no PPD parser), so a
/// large PPD costs the choice next to nothing. `text`, when given,
/// receives the file's bytes (null when it could not be read), so that
/// whoever parses the PPD next need not read it again; they are mapped
/// from the file, so give it only for a file this process made and no one
/// else writes (fetchQueuePPD's).
std::optional<std::filesystem::path> bundleForPPD(
    const std::filesystem::path& ppd, const std::filesystem::path& bundleDir, std::string* error,
    std::shared_ptr<const platform::PPDText>* text = nullptr);

/// The PPD keywords the bundle choice reads.
inline const std::vector<std::string> kBundleChoiceKeywords = {kBundleKeyword, "ModelName",
                                                               "NickName"};

/// bundleForPPD from the values of kBundleChoiceKeywords a PPD gives (as
/// platform::scanPPDKeywords answers them).
std::optional<std::filesystem::path> bundleForKeywords(
    const std::map<std::string, std::string>& keywords, const std::filesystem::path& bundleDir,
    std::string* error);

/// Everything a dialog for a queue needs. `ppd` lives as long as this does.
struct QueueTarget {
  QueueInfo queue;
  std::unique_ptr<TemporaryFile> ppd;
  /// The bytes of `ppd`, read once: the bundle choice scanned them, and
  /// the dialog parses them rather than reading the file again.
  std::shared_ptr<const platform::PPDText> ppdText;
  std::filesystem::path bundle;
};

/// The queue `name`, its PPD (read once, into ppdText) and the bundle from
/// `bundleDir` that serves it (describeQueue, fetchQueuePPD, bundleForPPD).
/// nullopt with the error of the step that failed, naming the queue.
std::optional<QueueTarget> resolveQueue(const std::string& name,
                                        const std::filesystem::path& bundleDir, std::string* error);

}  // namespace jobwick::host
