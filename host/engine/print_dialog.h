// SPDX-License-Identifier: Apache-2.0
// The print dialog engine: a dialog opened for a printer (a CUPS queue, or
// a PPD and a printer id) with the job's print settings and the user's
// surroundings, the plug-in bundle that serves it loaded and its panel made;
// the panel restored, Print pressed (save, shouldPrint) and the ticket
// collected. Every front end (jobwick, jobwick-dialog, the fuzz entries)
// opens its panels here.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/common/exit_status.h"
#include "host/cups/cups_queue.h"
#include "host/engine/host_object.h"
#include "host/engine/plugin_loader.h"
#include "platform/alert.h"
#include "platform/pde.h"
#include "platform/ppd.h"

namespace jobwick::host {

/// What a dialog is opened with.
struct DialogSetup {
  std::string bundle;  ///< path or bare model name
  std::optional<std::filesystem::path> ppd;
  /// The bytes of `ppd` when they have been read already (a queue's PPD,
  /// read once for the bundle choice); null: the file is read.
  std::shared_ptr<const platform::PPDText> ppdText;
  std::optional<std::string> printerId;
  std::optional<std::string> deviceURI;
  /// Print settings to start from (a session's inline settings, or the
  /// settings a closed dialog left); --settings and --set apply on top.
  std::optional<platform::PrintSettings> initialSettings;
  std::optional<std::filesystem::path> settingsFile;
  /// Single settings (key, value), applied last.
  std::vector<std::pair<std::string, std::string>> settingOverrides;
  std::optional<std::string> language;
  std::optional<std::filesystem::path> prefsDir;
  bool constraintHandling = true;
  /// Print sends a ticket that carries secrets even to a queue whose
  /// tickets other users can read (exposedTicketProblem).
  bool allowExposedTicket = false;
  /// Receives each alert the plug-in shows; without one alerts are written
  /// to stderr. Either way they are kept in alerts().
  std::function<void(const platform::Alert&)> alertListener;
};

/// Whether `bundle` has resources for `language` ("ja", or "ja-JP" by its
/// primary subtag). Answers false when it has not; `error` then names the
/// language and the ones the bundle has.
bool bundleHasLanguage(const std::filesystem::path& bundle, const std::string& language,
                       std::string* error);

/// Reads `setup->settingsFile` (when set) on top of `setup->initialSettings`
/// and clears it, so that a settings file that cannot be read is reported as
/// bad input before any dialog opens. Answers false, leaving `setup` as it
/// was, when the file cannot be read or parsed; `error` then names the file.
bool loadSettingsFile(DialogSetup* setup, std::string* error);

/// The printer identifier the dialog uses: `printerId`, else the PPD file's
/// name without extension, else "jobwick".
std::string printerIdentifierFor(const DialogSetup& setup);

/// The setup of a dialog for CUPS queue `target`: its bundle, its PPD (the
/// file `target` holds, which must outlive the dialog), the queue name as
/// printer id (remembered entries are kept per queue) and its device URI,
/// with the job and the user of `base` (settings, language, preferences
/// folder). Never fails.
DialogSetup setupForQueue(const QueueTarget& target, DialogSetup base);

/// What pressing Print left: the panel's answer and the job's ticket.
struct PrintVerdict {
  bool shouldPrint = false;             ///< the panel's answer to shouldPrint
  std::vector<platform::Alert> alerts;  ///< the alerts shouldPrint showed
  platform::PrintSettings settings;     ///< the job's print settings, as saved
};

/// One headless print dialog. Destroying it releases, in this order, the
/// panels, the host object, the plug-in instance and the shared object.
class PrintDialog {
 public:
  /// Applies the user overrides (language, preferences folder), opens the
  /// PPD, reads the print settings, loads the bundle, calls initWithBundle
  /// and asks for panels of the print-dialog type. Answers null when any
  /// step fails; `error` then names the input at fault, and `status` (when
  /// given) says whose fault: badInput for a PPD or settings file that
  /// cannot be read or parsed, failure for a bundle that cannot be used.
  static std::unique_ptr<PrintDialog> open(const DialogSetup& setup, std::string* error,
                                           ExitStatus* status = nullptr);

  /// Opens the dialog for CUPS queue `queue`: asks the scheduler for the
  /// queue and its PPD, picks the bundle of `bundleDir` that serves it
  /// (resolveQueue) and opens it with the job and user of `base`
  /// (setupForQueue), the job-ticket entries saved for the queue (its
  /// defaults, the lpoptions files) under `base`'s settings; the dialog
  /// keeps the fetched PPD. Null when any step fails; `error` then names
  /// the queue and the step.
  static std::unique_ptr<PrintDialog> openQueue(const std::string& queue, const DialogSetup& base,
                                                const std::filesystem::path& bundleDir,
                                                std::string* error);

  PrintDialog(const PrintDialog&) = delete;
  PrintDialog& operator=(const PrintDialog&) = delete;
  ~PrintDialog();

  const LoadedBundle& bundle() const { return *loaded_; }
  HostObject& host() { return *host_; }
  const platform::PDEPanelArray& panels() const { return panels_; }
  /// The dialog's panel (open makes sure there is one).
  platform::PDEPanel& panel() const { return *panels_.front(); }
  /// The queue the dialog was opened for (openQueue), else null.
  const QueueTarget* queue() const { return queue_.get(); }

  /// The host's restore step: the panel reads the job's print settings.
  void restore();
  /// Print pressed: the panel saves its values into the print settings and
  /// is asked shouldPrint. The verdict holds the answer, the alerts it
  /// showed and the print settings as they are afterwards.
  PrintVerdict pressPrint();
  /// The user picks another printer: the panel saves its values into the
  /// job's print settings (the host's save step), and the job and user of
  /// this dialog go on from those settings, for the next printer's panel to
  /// restore. The settings file and single settings are in them already
  /// and are not applied again.
  DialogSetup handOver();
  const DialogSetup& setup() const { return setup_; }
  /// The preferences folder in effect (nullopt when none can be found).
  const std::optional<std::filesystem::path>& prefsDir() const { return prefsDir_; }
  /// The alerts the plug-in showed, oldest first (also written to stderr).
  const std::vector<platform::Alert>& alerts() const { return *alerts_; }

 private:
  PrintDialog() = default;
  /// The user's surroundings (language, preferences folder) and the alert
  /// presenter, set before any plug-in code runs.
  void applySurroundings();

  DialogSetup setup_;
  std::unique_ptr<QueueTarget> queue_;  // outlives the host object, which read its PPD
  std::optional<std::filesystem::path> prefsDir_;
  std::shared_ptr<std::vector<platform::Alert>> alerts_;
  std::unique_ptr<LoadedBundle> loaded_;
  std::shared_ptr<HostObject> host_;
  platform::PDEPanelArray panels_;
};

}  // namespace jobwick::host
