// Printing through CUPS: the panel asked as the dialog's Print button asks
// it, and the job submitted with its print settings as job options.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "host/cli.h"
#include "host/cups_queue.h"
#include "platform/alert.h"
#include "platform/print_settings.h"

namespace jobwick::host {

/// What the panel left when Print was pressed.
struct PanelVerdict {
  int status = 1;                       ///< the session's exit status (0: it ran as written)
  bool shouldPrint = false;             ///< the panel's answer to shouldPrint
  std::vector<platform::Alert> alerts;  ///< the alerts shouldPrint showed
  platform::PrintSettings settings;     ///< the job's print settings, as saved
};

/// Runs the session script `script` (or, when empty, just restores the
/// dialog's print settings in the panel) with the dialog options of `args`,
/// then presses Print: the panel saves its values and is asked shouldPrint.
/// `--save-settings` in `args` writes the settings as they are then. The
/// session's step log goes nowhere; errors go to `err`. On failure the
/// verdict's status is non-zero and shouldPrint false.
PanelVerdict runPanelForPrint(const std::string& script, const ParsedArgs& args, std::ostream& err);

/// The words for the session runner that open the dialog of `target`'s
/// printer (its bundle, PPD, queue name as printer id, device URI), with the
/// job and user options of `args` (settings, language, variables, saved
/// settings) and the user's preferences folder. Never fails.
ParsedArgs dialogArgsFor(const ParsedArgs& args, const QueueTarget& target);

/// A job to submit.
struct JobRequest {
  std::string queue;
  std::string jobName;
  std::string documentName;
  std::string data;  ///< the document's bytes
  std::optional<int> copies;
  /// Job options sent as they stand (name attributes): the ticket entries.
  std::vector<std::pair<std::string, std::string>> exactOptions;
  /// Printer options ("-o KEY=VALUE"), encoded as lp encodes them.
  std::vector<std::pair<std::string, std::string>> printerOptions;
};

/// Creates the job, sends its document and answers the job id. nullopt when
/// the scheduler refuses or fails; `error` then names the queue and gives
/// the scheduler's reason, and a job already created is cancelled, so that
/// nothing half-submitted stays.
std::optional<int> submitJob(const JobRequest& job, std::string* error);

}  // namespace jobwick::host
